// qrtupdate: the console front end of QRT Update.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#define QRT_ISATTY _isatty
#define QRT_FILENO _fileno
#else
#include <unistd.h>
#define QRT_ISATTY isatty
#define QRT_FILENO fileno
#endif

#include "platform/platform.h"
#include "platform/signals.h"
#include "ui/console/lib/Console.h"

int main(int argc, char** argv) {
  platform::SetStartName(argc > 0 ? argv[0] : "");
  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  ui::ConsoleOptions options = ui::ParseConsoleArgs(args);
  bool bTerminal = QRT_ISATTY(QRT_FILENO(stderr)) != 0;
  // Ctrl-C, SIGTERM and SIGHUP stop an update at its next exchange and let
  // the port go, instead of ending the process with the port held.
  platform::InstallStopHandlers();
  ui::ConsoleFrontEnd console(std::cout, std::cerr, bTerminal);
  bool bSequences = true;
#ifdef _WIN32
  // The several-ports display moves the cursor; a Windows console does that
  // only with terminal sequences turned on.
  DWORD dwMode = 0;
  HANDLE hErr = GetStdHandle(STD_ERROR_HANDLE);
  bSequences = bTerminal && GetConsoleMode(hErr, &dwMode) &&
               SetConsoleMode(hErr, dwMode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
#endif
  console.SetTerminal(QRT_ISATTY(QRT_FILENO(stdout)) != 0, bSequences);
  const int nExit = console.Run(options);
  std::cout.flush();
  platform::StopCleanupDone();
  return nExit;
}
