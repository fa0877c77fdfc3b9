// qrtupdate-gui: the Linux window of QRT Update. The application object runs
// the main window as a modal dialog; the program ends when that window closes.
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include <QApplication>

#include "app/UpdateApp.h"
#include "app/UpdateDialog.h"
#include "platform/platform.h"
#include "qrt_version.h"
#include "ui/common/StartName.h"
#include "ui/qt/GuiOptions.h"
#include "ui/qt/QtFrontEnd.h"
#include "common/ResultCodes.h"

namespace {

bool HasDisplay() {
  for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* s = std::getenv(v);
    if (s && *s) return true;
  }
  return false;
}

// --help, --version and usage errors, which need no window: the exit
// status, or -1 when the window is to be shown.
int Answer(const ui::qt::GuiOptions& options) {
  if (!options.strError.empty()) {
    std::cerr << "qrtupdate-gui: " << options.strError << "\n" << ui::qt::GuiUsage();
    return kExitUsage;
  }
  if (options.bHelp) {
    std::cout << ui::qt::GuiUsage();
    return 0;
  }
  if (options.bVersion) {
    std::cout << "qrtupdate-gui " << QRT_VERSION << "\n";
    return 0;
  }
  return -1;
}

std::vector<std::string> ArgsOf(int argc, char** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  return args;
}

}  // namespace

int main(int argc, char** argv) {
  platform::SetStartName(argc > 0 ? argv[0] : "");
  // Without a display Qt would end the process with an abort; the user is
  // told why instead, and where the same work is done without a window.
  // Without Qt's own options in the way, --help and --version still answer.
  if (!HasDisplay()) {
    ui::qt::GuiOptions options = ui::qt::ParseGuiArgs(ArgsOf(argc, argv));
    if (options.strError.empty() && (options.bHelp || options.bVersion)) return Answer(options);
    std::cerr << "qrtupdate-gui: no display (DISPLAY is not set): the window cannot be shown; "
                 "the console program qrtupdate does the same work without one\n";
    return 1;
  }
  QApplication qapp(argc, argv);
  ui::qt::GuiOptions options = ui::qt::ParseGuiArgs(ArgsOf(argc, argv));
  int answered = Answer(options);
  if (answered >= 0) return answered;
  if (!options.strAs.empty()) ui::RunAs(options.strAs);

  ui::qt::QtFrontEnd frontEnd;
  frontEnd.SetPortPath(options.strPort);
  fw::SetFrontEnd(&frontEnd);
  {
    UpdateApp theApp;
    theApp.InitInstance();
  }
  fw::SetFrontEnd(nullptr);
  // A name without a brand word ended the program at start-up.
  return BrandOfFileName(StartFileName()) < 0 ? kExitNoBrand : 0;
}
