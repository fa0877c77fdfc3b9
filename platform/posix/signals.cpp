// POSIX stop signals: SIGINT, SIGTERM and SIGHUP are noted, not obeyed.
#include "platform/signals.h"

#include <signal.h>

#include <atomic>
#include <cstring>
#include <initializer_list>
#include <string_view>

static_assert(SIGHUP == platform::kStopHangup && SIGINT == platform::kStopInterrupt &&
                  SIGTERM == platform::kStopTerminate,
              "the stop numbers are the signals' own");
static_assert(std::string_view(platform::SignalName(SIGQUIT)) == "SIGQUIT" &&
                  std::string_view(platform::SignalName(SIGABRT)) == "SIGABRT" &&
                  std::string_view(platform::SignalName(SIGKILL)) == "SIGKILL" &&
                  std::string_view(platform::SignalName(SIGSEGV)) == "SIGSEGV" &&
                  std::string_view(platform::SignalName(SIGPIPE)) == "SIGPIPE",
              "the names are those of this system's numbers");

namespace platform {

namespace {

std::atomic<int> g_nStopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "read and written from a signal handler");

extern "C" void OnStopSignal(int nSignal) {
  int nNone = 0;
  // The first signal stands; the clean-up it started runs to its end.
  g_nStopSignal.compare_exchange_strong(nNone, nSignal);
}

}  // namespace

int InstallStopHandlers() {
  struct sigaction sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sa_handler = OnStopSignal;
  // The other stop signals wait while the handler runs: otherwise a second
  // one arriving with the first would run its handler on top and be taken
  // for the first.
  sigemptyset(&sa.sa_mask);
  for (int nSignal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&sa.sa_mask, nSignal);
  // No SA_RESTART: a poll() or read() waiting on the port returns with
  // EINTR, and the serial layer gives up at once.
  sa.sa_flags = 0;
  int nOk = 1;
  for (int nSignal : {SIGINT, SIGTERM, SIGHUP}) {
    // A signal the caller ignores stays ignored (nohup, a background job
    // of a shell without job control), as it would without handlers.
    struct sigaction old;
    if (sigaction(nSignal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    if (sigaction(nSignal, &sa, nullptr) != 0) nOk = 0;
  }
  return nOk;
}

int StopSignal() { return g_nStopSignal.load(); }

void StopCleanupDone() {}

const char* StopSignalName() { return SignalName(g_nStopSignal.load()); }

}  // namespace platform
