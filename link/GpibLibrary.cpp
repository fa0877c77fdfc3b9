// GpibLibrary: every bound entry follows one pattern, generated from the
// table in gpib_entries.h.
#include "link/GpibLibrary.h"

#include <type_traits>

#include "platform/dynlib.h"

namespace gpib {

std::int32_t ibsta = 0;
std::int32_t iberr = 0;
std::int32_t ibcnt = 0;
std::int32_t ibcntl = 0;

namespace {

enum class Kind { Trad, Desc, Multi, Thread };
constexpr Kind Trad = Kind::Trad;
constexpr Kind Desc = Kind::Desc;
constexpr Kind Multi = Kind::Multi;
constexpr Kind Thread = Kind::Thread;

enum EntryIndex {
#define QRT_GPIB_INDEX(kind, ret, name, params, args) k_##name,
  QRT_GPIB_ENTRIES(QRT_GPIB_INDEX)
#undef QRT_GPIB_INDEX
      kEntryCount
};

using CountReader = long(QRT_GPIB_CALL*)(void);

// Process-wide: the handle and the status variables are kept once found.
struct GpibLibrary {
  platform::LibHandle hLib = nullptr;
  volatile int* pStatus = nullptr;
  volatile int* pError = nullptr;
  volatile long* pCount = nullptr;
  CountReader pfnCountReader = nullptr;
  void* entries[kEntryCount] = {};
};

GpibLibrary g_gpib;

void SetErrorState(unsigned long dwLastError) {
  ibsta = kErr;
  iberr = kEdvr;
  ibcnt = ibcntl = static_cast<std::int32_t>(dwLastError);
}

bool LoadLibraryOnce() {
  if (g_gpib.hLib) return true;
  platform::LibHandle hLib = platform::LoadLibrary(platform::kGpibLibraryName);
  if (!hLib) {
    SetErrorState(platform::GetLastError());
    return false;
  }
  void* pStatus = platform::GetProcAddress(hLib, platform::kGpibStatusName);
  void* pError = platform::GetProcAddress(hLib, platform::kGpibErrorName);
  void* pCount = platform::GetProcAddress(hLib, platform::kGpibCountName);
  void* pReader = nullptr;
  if (!pCount && platform::kGpibCountReaderName) pReader = platform::GetProcAddress(hLib, platform::kGpibCountReaderName);
  if (!pStatus || !pError || (!pCount && !pReader)) {
    // Not the library we can work with: release it and treat it as missing.
    unsigned long dwLastError = platform::GetLastError();
    platform::FreeLibrary(hLib);
    SetErrorState(dwLastError);
    return false;
  }
  g_gpib.hLib = hLib;
  g_gpib.pStatus = static_cast<volatile int*>(pStatus);
  g_gpib.pError = static_cast<volatile int*>(pError);
  g_gpib.pCount = static_cast<volatile long*>(pCount);
  g_gpib.pfnCountReader = reinterpret_cast<CountReader>(pReader);
  return true;
}

// The cached entry, looked up (and the library loaded) when not yet found.
// A failure is not remembered: the next call tries again.
void* EntryPoint(int index, const char* name) {
  if (g_gpib.entries[index]) return g_gpib.entries[index];
  if (!LoadLibraryOnce()) return nullptr;
  void* p = platform::GetProcAddress(g_gpib.hLib, name);
  if (!p) {
    SetErrorState(platform::GetLastError());
    return nullptr;
  }
  g_gpib.entries[index] = p;
  return p;
}

void CopyStatus() {
  ibsta = *g_gpib.pStatus;
  iberr = *g_gpib.pError;
  long count = g_gpib.pCount ? *g_gpib.pCount : g_gpib.pfnCountReader();
  ibcnt = ibcntl = static_cast<std::int32_t>(count);
}

template <Kind K, typename R, typename Call>
R Bound(int index, const char* name, Call call) {
  void* p = EntryPoint(index, name);
  if (!p) {
    if constexpr (std::is_void_v<R>) {
      return;
    } else if constexpr (K == Kind::Desc) {
      return -1;
    } else if constexpr (K == Kind::Thread) {
      return static_cast<R>(kUnboundReader);
    } else {
      return ibsta;
    }
  }
  if constexpr (std::is_void_v<R>) {
    call(p);
    CopyStatus();
  } else if constexpr (K == Kind::Thread) {
    return call(p);
  } else {
    R result = call(p);
    CopyStatus();
    return result;
  }
}

}  // namespace

#define QRT_GPIB_DEFINE(kind, ret, name, params, args)                                              \
  ret name params {                                                                                 \
    using Fn = ret(QRT_GPIB_CALL*) params;                                                          \
    return Bound<kind, ret>(k_##name, #name, [&](void* p) { return reinterpret_cast<Fn>(p) args; }); \
  }
QRT_GPIB_ENTRIES(QRT_GPIB_DEFINE)
#undef QRT_GPIB_DEFINE

bool IsLibraryLoaded() { return g_gpib.hLib != nullptr; }

const char* LibraryName() { return platform::kGpibLibraryName; }

}  // namespace gpib
