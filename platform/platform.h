// The few operating-system services the logic needs, behind an OS-neutral
// interface. One implementation per OS (platform/posix, platform/win32),
// chosen by the build.
#pragma once
#include <string>

namespace platform {

// Records the name the program was started under (argv[0]). On POSIX that
// name stands for the executable's own file name, as multi-call programs
// read it; on Windows the module path is asked of the system instead.
void SetStartName(const char* argv0);

// Full path of the running executable (GetModuleFileNameA on Windows, the
// recorded start name on POSIX). At most 1024 characters, as the program
// has always read it.
std::string ModuleFileName();

// The absolute path of the running executable's file itself, links
// resolved (/proc/self/exe on Linux, the module path on Windows); "" when
// the system does not say. For hints that must work from any folder.
std::string ExecutablePath();

// Blocks the calling thread for the given number of milliseconds.
void Sleep(unsigned milliseconds);

// A diagnostic line for the debugger (OutputDebugStringA on Windows; on
// POSIX written to standard error only when QRTUPDATE_TRACE is set).
void DebugTrace(const std::string& line);

}  // namespace platform
