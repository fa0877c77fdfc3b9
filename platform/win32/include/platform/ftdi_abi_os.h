// FTDI D2XX for Windows: FTD2XX.dll, its entries taken by ordinal, every
// entry __stdcall (which matters in the 32-bit build).
#pragma once
#include "platform/dynlib.h"

#define QRT_FTDI_CALL __stdcall

namespace platform {

inline constexpr char kFtdiLibraryName[] = "FTD2XX.dll";

using FtDwordOs = unsigned long;

// The address of a D2XX entry: by its ordinal, as the program always bound them.
inline void* FtdiEntry(LibHandle lib, unsigned ordinal, const char*) { return GetProcAddressByOrdinal(lib, ordinal); }

}  // namespace platform
