// The console program's standard streams: whether they are terminals, and
// whether standard error takes the cursor sequences of the several-ports
// display.
#pragma once

namespace platform {

// True when standard output (standard error) is a terminal or a console.
bool StdoutIsTerminal();
bool StderrIsTerminal();

// Turns on the cursor sequences on standard error and tells whether they
// work there: always on POSIX; on Windows only for a console that took the
// mode (bTerminal: standard error is one).
bool EnableTerminalSequences(bool bTerminal);

}  // namespace platform
