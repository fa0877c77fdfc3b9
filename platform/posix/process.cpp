// POSIX: the executable's name is the name it was started under, so that a
// symbolic link or a copy named after a brand selects that brand.
#include "platform/platform.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace platform {

namespace {
std::string g_strStartName;
}

void SetStartName(const char* argv0) { g_strStartName = argv0 ? argv0 : ""; }

std::string ModuleFileName() { return g_strStartName.substr(0, 1024); }

void Sleep(unsigned milliseconds) {
  timespec ts{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

void DebugTrace(const std::string& line) {
  if (std::getenv("QRTUPDATE_TRACE")) std::fputs(line.c_str(), stderr);
}

}  // namespace platform
