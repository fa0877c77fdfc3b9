// POSIX: the executable's name is the name it was started under, so that a
// symbolic link or a copy named after a brand selects that brand.
#include "platform/platform.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include <climits>
#include <unistd.h>

namespace platform {

namespace {
std::string g_strStartName;
}

void SetStartName(const char* argv0) { g_strStartName = argv0 ? argv0 : ""; }

std::string ModuleFileName() { return g_strStartName.substr(0, 1024); }

std::string ExecutablePath() {
  char buf[PATH_MAX + 1] = {};
  const ssize_t n = ::readlink("/proc/self/exe", buf, PATH_MAX);
  if (n <= 0) return "";
  return std::string(buf, static_cast<std::size_t>(n));
}

void Sleep(unsigned milliseconds) {
  timespec ts{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

void DebugTrace(const std::string& line) {
  if (std::getenv("QRTUPDATE_TRACE")) std::fputs(line.c_str(), stderr);
}

}  // namespace platform
