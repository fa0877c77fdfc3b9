// The PC side of the USB-serial adapter model, for the benchmark and tests
// only: a library preloaded into the unchanged updater (LD_PRELOAD) that
// makes every write call on the port wait for the next 1 ms USB frame, as a
// full-speed adapter turns each write call into one USB transfer. The device
// side (the adapter's latency timer) is qrtsim --adapter-latency.
//
//   QRT_ADAPTER_PORT   the port's device (the pty slave qrtsim prints); write
//                      calls on other files pass unchanged. Without it the
//                      library does nothing.
//   QRT_ADAPTER_SPLIT  "1": each write call goes out as one call per byte,
//                      each in its own frame (what writing one character per
//                      call costs).
//   QRT_ADAPTER_LOG    a file that gets one line per write call on the port
//                      with its byte count (before any split).
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

using WriteFn = ssize_t (*)(int, const void*, size_t);

WriteFn g_realWrite = nullptr;
bool g_bActive = false;
dev_t g_portDevice = 0;
bool g_bSplit = false;
int g_fdLog = -1;

constexpr long kFrameNs = 1000000;  // full-speed USB: one frame per millisecond

__attribute__((constructor)) void Init() {
  g_realWrite = reinterpret_cast<WriteFn>(dlsym(RTLD_NEXT, "write"));
  const char* pszPort = std::getenv("QRT_ADAPTER_PORT");
  struct stat st {};
  if (!pszPort || ::stat(pszPort, &st) != 0 || !S_ISCHR(st.st_mode)) return;
  g_portDevice = st.st_rdev;
  g_bActive = true;
  const char* pszSplit = std::getenv("QRT_ADAPTER_SPLIT");
  g_bSplit = pszSplit && std::strcmp(pszSplit, "1") == 0;
  if (const char* pszLog = std::getenv("QRT_ADAPTER_LOG"))
    g_fdLog = ::open(pszLog, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  // Frame waits of a millisecond must not be stretched by the timer slack.
  prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
}

bool IsPort(int fd) {
  struct stat st {};
  int nErrno = errno;
  bool bPort = ::fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && st.st_rdev == g_portDevice;
  errno = nErrno;
  return bPort;
}

// Sleeps until the start of the next USB frame of a free-running 1 ms clock.
void WaitForFrame() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  long long ns = static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
  long long next = (ns / kFrameNs + 1) * kFrameNs;
  timespec until{static_cast<time_t>(next / 1000000000LL), static_cast<long>(next % 1000000000LL)};
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
  }
}

void Log(size_t n) {
  if (g_fdLog < 0) return;
  char line[32];
  int len = std::snprintf(line, sizeof line, "%zu\n", n);
  if (len > 0) (void)g_realWrite(g_fdLog, line, static_cast<size_t>(len));
}

}  // namespace

extern "C" ssize_t write(int fd, const void* buf, size_t n) {
  if (!g_realWrite) g_realWrite = reinterpret_cast<WriteFn>(dlsym(RTLD_NEXT, "write"));
  if (!g_bActive || n == 0 || !IsPort(fd)) return g_realWrite(fd, buf, n);
  Log(n);
  if (!g_bSplit) {
    WaitForFrame();
    return g_realWrite(fd, buf, n);
  }
  const auto* p = static_cast<const char*>(buf);
  size_t done = 0;
  while (done < n) {
    WaitForFrame();
    ssize_t k = g_realWrite(fd, p + done, 1);
    if (k <= 0) return done > 0 ? static_cast<ssize_t>(done) : k;
    done += static_cast<size_t>(k);
  }
  return static_cast<ssize_t>(done);
}
