// The window program's command line: the start name as in the console
// (--as NAME), the device behind the chosen COM port (--port PATH), --help
// and --version. Qt's own options (-platform, -display ...) are taken by
// QApplication before these are read.
#pragma once
#include <string>
#include <vector>

namespace ui::qt {

struct GuiOptions {
  bool bHelp = false;
  bool bVersion = false;
  std::string strAs;    // --as NAME, empty when not given
  std::string strPort;  // --port PATH, empty when not given
  std::string strError; // a usage error found while parsing
};

GuiOptions ParseGuiArgs(const std::vector<std::string>& args);
std::string GuiUsage();

}  // namespace ui::qt
