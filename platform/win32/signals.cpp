// Windows stop signals: the console's control events, noted by a handler
// that the system runs on a thread of its own.
#include "platform/signals.h"

#include <windows.h>

#include <atomic>

namespace platform {

namespace {

std::atomic<int> g_nStopSignal{0};
std::atomic<DWORD> g_dwStopEvent{0};
HANDLE g_hCleanupDone = nullptr;

// A closing console ends the process as soon as the handler returns (and at
// the latest after about five seconds), so the handler waits for the
// clean-up: the port must be closed before the process goes.
constexpr DWORD kCloseWaitMs = 4000;

BOOL WINAPI OnConsoleControl(DWORD dwEvent) {
  int nSignal = 0;
  switch (dwEvent) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      nSignal = kStopInterrupt;
      break;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      nSignal = kStopHangup;
      break;
    default:
      return FALSE;
  }
  int nNone = 0;
  if (g_nStopSignal.compare_exchange_strong(nNone, nSignal)) g_dwStopEvent.store(dwEvent);
  if (nSignal == kStopHangup && g_hCleanupDone) WaitForSingleObject(g_hCleanupDone, kCloseWaitMs);
  return TRUE;
}

}  // namespace

int InstallStopHandlers() {
  if (!g_hCleanupDone) g_hCleanupDone = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  return SetConsoleCtrlHandler(OnConsoleControl, TRUE) ? 1 : 0;
}

int StopSignal() { return g_nStopSignal.load(); }

void StopCleanupDone() {
  if (g_hCleanupDone) SetEvent(g_hCleanupDone);
}

const char* StopSignalName() {
  if (g_nStopSignal.load() == 0) return "";
  switch (g_dwStopEvent.load()) {
    case CTRL_C_EVENT: return "Ctrl-C";
    case CTRL_BREAK_EVENT: return "Ctrl-Break";
    case CTRL_CLOSE_EVENT: return "console closed";
    case CTRL_LOGOFF_EVENT: return "logoff";
    case CTRL_SHUTDOWN_EVENT: return "shutdown";
    default: return "";
  }
}

}  // namespace platform
