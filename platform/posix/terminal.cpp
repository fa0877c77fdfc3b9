// POSIX: a terminal understands the cursor sequences as they are.
#include "platform/terminal.h"

#include <unistd.h>

namespace platform {

bool StdoutIsTerminal() { return isatty(STDOUT_FILENO) != 0; }
bool StderrIsTerminal() { return isatty(STDERR_FILENO) != 0; }
bool EnableTerminalSequences(bool) { return true; }

}  // namespace platform
