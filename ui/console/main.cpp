// qrtupdate: the console front end of QRT Update.
#include <iostream>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/signals.h"
#include "platform/terminal.h"
#include "ui/console/lib/Console.h"

int main(int argc, char** argv) {
  platform::SetStartName(argc > 0 ? argv[0] : "");
  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  ui::ConsoleOptions options = ui::ParseConsoleArgs(args);
  const bool bTerminal = platform::StderrIsTerminal();
  // Ctrl-C, SIGTERM and SIGHUP stop an update at its next exchange and let
  // the port go, instead of ending the process with the port held.
  platform::InstallStopHandlers();
  ui::ConsoleFrontEnd console(std::cout, std::cerr, bTerminal);
  // The several-ports display moves the cursor.
  const bool bSequences = platform::EnableTerminalSequences(bTerminal);
  console.SetTerminal(platform::StdoutIsTerminal(), bSequences);
  const int nExit = console.Run(options);
  std::cout.flush();
  platform::StopCleanupDone();
  return nExit;
}
