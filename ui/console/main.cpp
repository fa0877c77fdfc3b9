// qrtupdate: the console front end of QRT Update.
#include <iostream>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/signals.h"
#include "platform/terminal.h"
#include "ui/console/lib/Console.h"

int main(int argc, char** argv) {
  // Ctrl-C, SIGTERM and SIGHUP stop an update at its next exchange and let
  // the port go, instead of ending the process with the port held. First of
  // all: a stop that comes while the arguments are read still ends the run
  // the program's own way (its exit status, its record).
  platform::InstallStopHandlers();
  platform::SetStartName(argc > 0 ? argv[0] : "");
  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  ui::ConsoleOptions options = ui::ParseConsoleArgs(args);
  const bool bTerminal = platform::StderrIsTerminal();
  ui::ConsoleFrontEnd console(std::cout, std::cerr, bTerminal);
  // The several-ports display moves the cursor.
  const bool bSequences = platform::EnableTerminalSequences(bTerminal);
  console.SetTerminal(platform::StdoutIsTerminal(), bSequences);
  const int nExit = console.Run(options);
  std::cout.flush();
  platform::StopCleanupDone();
  return nExit;
}
