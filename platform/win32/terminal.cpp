// Windows: a console moves the cursor only with terminal sequences turned on.
#include "platform/terminal.h"

#include <io.h>
#include <windows.h>

#include <cstdio>

namespace platform {

bool StdoutIsTerminal() { return _isatty(_fileno(stdout)) != 0; }
bool StderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

bool EnableTerminalSequences(bool bTerminal) {
  DWORD dwMode = 0;
  HANDLE hErr = GetStdHandle(STD_ERROR_HANDLE);
  return bTerminal && GetConsoleMode(hErr, &dwMode) &&
         SetConsoleMode(hErr, dwMode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

}  // namespace platform
