// FTDI D2XX for Linux: libftd2xx.so with the C calling convention; a shared
// object has no ordinals, so the entries are found by name.
#pragma once
#include "platform/dynlib.h"

#define QRT_FTDI_CALL

namespace platform {

inline constexpr char kFtdiLibraryName[] = "libftd2xx.so";

using FtDwordOs = unsigned int;

inline void* FtdiEntry(LibHandle lib, unsigned, const char* name) { return GetProcAddress(lib, name); }

}  // namespace platform
