// The stop signals of the console program: SIGINT (Ctrl-C), SIGTERM and
// SIGHUP on POSIX; Ctrl-C, Ctrl-Break and the closing of the console on
// Windows. Once installed, such a signal no longer ends the process: it is
// only noted, so that the running command can stop at its next exchange with
// the device and close the port as on every other exit. The window programs
// never install the handlers and run every command to its end.
#pragma once

namespace platform {

// Stop signal numbers as POSIX counts them; the exit status of a run they
// stopped is 128 plus the number.
constexpr int kStopHangup = 1;     // SIGHUP; on Windows the console closed, logoff or shutdown
constexpr int kStopInterrupt = 2;  // SIGINT; on Windows Ctrl-C or Ctrl-Break
constexpr int kStopTerminate = 15; // SIGTERM

// Installs the handlers for the rest of the process's life; a signal the
// process inherited as ignored stays ignored. 1 on success.
// POSIX: without SA_RESTART, so that a blocking wait of the serial layer
// returns at the signal and sees the stop.
int InstallStopHandlers();

// The first stop signal that arrived (kStopHangup, kStopInterrupt or
// kStopTerminate), 0 while none has. Later signals never replace the first,
// and they do not end the process either, so the clean-up runs to its end.
int StopSignal();

// Called on Windows once the clean-up after a stop is done (port closed,
// record written): a console that is closing waits for it, up to a few
// seconds, before the system ends the process. Nothing on POSIX.
void StopCleanupDone();

// Windows: a child of a multi-port run finds in this environment variable
// the handle of an event it inherited; the parent sets the event to pass a
// stop on, and the child stops as after Ctrl-C. (POSIX sends the signal.)
constexpr const char* kChildStopEventVariable = "QRTUPDATE_STOP_EVENT";

// The signal's name for messages: "SIGINT", "SIGTERM", "SIGHUP"; on Windows
// "Ctrl-C", "Ctrl-Break", "console closed".
const char* StopSignalName();

// The name of a signal number as POSIX counts it ("SIGHUP", "SIGKILL", ...),
// "" for a number without one here. The one table of signal names: stops,
// and children a signal ended, are named in these words on every system.
constexpr const char* SignalName(int nSignal) {
  switch (nSignal) {
    case kStopHangup: return "SIGHUP";
    case kStopInterrupt: return "SIGINT";
    case 3: return "SIGQUIT";
    case 6: return "SIGABRT";
    case 9: return "SIGKILL";
    case 11: return "SIGSEGV";
    case 13: return "SIGPIPE";
    case kStopTerminate: return "SIGTERM";
    default: return "";
  }
}

}  // namespace platform
