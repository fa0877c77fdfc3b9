#include "ui/qt/GuiOptions.h"

#include "platform/ports.h"

namespace ui::qt {

GuiOptions ParseGuiArgs(const std::vector<std::string>& args) {
  GuiOptions o;
  for (std::size_t i = 0; i < args.size() && o.strError.empty(); ++i) {
    const std::string& a = args[i];
    auto value = [&](const char* what) -> std::string {
      if (i + 1 >= args.size() || args[i + 1].empty()) {
        o.strError = a + " needs " + what;
        return {};
      }
      return args[++i];
    };
    if (a == "--help" || a == "-h") {
      o.bHelp = true;
    } else if (a == "--version") {
      o.bVersion = true;
    } else if (a == "--as") {
      o.strAs = value("a file name");
    } else if (a == "--port") {
      o.strPort = value("a device path");
    } else {
      o.strError = "unknown argument '" + a + "'";
    }
  }
  return o;
}

std::string GuiUsage() {
  return "usage: qrtupdate-gui [--as NAME] [--port PATH]\n"
         "The window of QRT Update. The file name it runs under (a symbolic link such as\n"
         "QRT_Update_OP_FWV2.04) chooses brand, firmware version and hidden mode, as for\n"
         "the Windows program.\n"
         "  --as NAME     run as if the program were named NAME\n"
         "  --port PATH   the device behind the COM port chosen in the window (sets\n"
         "                " + std::string(platform::kComPortVariable) +
         "<n> for it); otherwise COM n is found as by qrtupdate\n"
         "  --version     print the version\n"
         "The Info dialog is in the window's context menu (right mouse button); F1 is Help.\n";
}

}  // namespace ui::qt
