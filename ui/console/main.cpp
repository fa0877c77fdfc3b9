// qrtupdate: the console front end of QRT Update.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <io.h>
#define QRT_ISATTY _isatty
#define QRT_FILENO _fileno
#else
#include <unistd.h>
#define QRT_ISATTY isatty
#define QRT_FILENO fileno
#endif

#include "platform/platform.h"
#include "ui/console/lib/Console.h"

int main(int argc, char** argv) {
  platform::SetStartName(argc > 0 ? argv[0] : "");
  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  ui::ConsoleOptions options = ui::ParseConsoleArgs(args);
  bool bTerminal = QRT_ISATTY(QRT_FILENO(stderr)) != 0;
  ui::ConsoleFrontEnd console(std::cout, std::cerr, bTerminal);
  return console.Run(options);
}
