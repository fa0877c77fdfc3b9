// Windows: the module path comes from the system, as the program always read it.
#include "platform/platform.h"

#include <windows.h>

namespace platform {

void SetStartName(const char*) {}

std::string ModuleFileName() {
  char buf[1025] = {};
  GetModuleFileNameA(nullptr, buf, 1024);
  return buf;
}

std::string ExecutablePath() { return ModuleFileName(); }

void Sleep(unsigned milliseconds) { ::Sleep(milliseconds); }

void DebugTrace(const std::string& line) { OutputDebugStringA(line.c_str()); }

}  // namespace platform
