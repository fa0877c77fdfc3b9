// Windows stop signals: the console's control events, noted by a handler
// that the system runs on a thread of its own.
#include "platform/signals.h"

#include <windows.h>

#include <atomic>
#include <cstdlib>

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

// A child of a multi-port run: the parent's stop event, when set, counts
// as Ctrl-C here.
DWORD WINAPI WatchParentStop(LPVOID pEvent) {
  if (WaitForSingleObject(static_cast<HANDLE>(pEvent), INFINITE) == WAIT_OBJECT_0) {
    int nNone = 0;
    if (g_nStopSignal.compare_exchange_strong(nNone, kStopInterrupt)) g_dwStopEvent.store(CTRL_C_EVENT);
  }
  return 0;
}

void WatchParentStopEvent() {
  char szValue[32] = {};
  const DWORD n = GetEnvironmentVariableA(kChildStopEventVariable, szValue, sizeof szValue);
  if (n == 0 || n >= sizeof szValue) return;
  // Not passed on to anything this process starts.
  SetEnvironmentVariableA(kChildStopEventVariable, nullptr);
  char* pEnd = nullptr;
  const unsigned long long nHandle = std::strtoull(szValue, &pEnd, 10);
  if (pEnd == szValue || *pEnd != 0 || nHandle == 0) return;
  HANDLE hEvent = reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(nHandle));
  // Only an event handle is waited on; anything else in the variable is
  // left alone.
  if (WaitForSingleObject(hEvent, 0) == WAIT_FAILED) return;
  HANDLE hThread = CreateThread(nullptr, 0, WatchParentStop, hEvent, 0, nullptr);
  if (hThread) CloseHandle(hThread);
}

}  // namespace

int InstallStopHandlers() {
  if (!g_hCleanupDone) g_hCleanupDone = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  WatchParentStopEvent();
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
    default: return SignalName(g_nStopSignal.load());
  }
}

}  // namespace platform
