// GpibLibrary: the program's binding of the GPIB library (GPIB-32.DLL on
// Windows, libgpib.so.0 on Linux). The library is loaded by name on the first
// call of any entry and never unloaded; each entry is looked up by name on its
// first use. The program calls the entries under their NI-488.2 names in the
// namespace gpib, and reads the status of the last call in the copies below.
// While the library or an entry is missing, a call does nothing but set the
// error state, and the next call tries again.
#pragma once
#include <cstdint>

#include "link/gpib_entries.h"
#include "platform/gpib_abi.h"

namespace gpib {

using Addr4882 = platform::GpibAddr4882;

// The program-side copies of the library's status variables.
extern std::int32_t ibsta;   // status word; 0x8000 is ERR
extern std::int32_t iberr;   // error code; 0 is EDVR (system error)
extern std::int32_t ibcnt;   // transfer count (both counts hold the same value)
extern std::int32_t ibcntl;

constexpr std::int32_t kErr = 0x8000;
constexpr std::int32_t kEdvr = 0;
// What a per-thread reader returns while it is not bound.
constexpr std::uint32_t kUnboundReader = 0xDDDDDEADu;

#define QRT_GPIB_DECLARE(kind, ret, name, params, args) ret name params;
QRT_GPIB_ENTRIES(QRT_GPIB_DECLARE)
#undef QRT_GPIB_DECLARE

// For diagnostics and tests: whether the library and its status variables
// have been found.
bool IsLibraryLoaded();
// The file name the library is looked for under ("libgpib.so.0",
// "GPIB-32.DLL"), for messages that say what is missing.
const char* LibraryName();

}  // namespace gpib
