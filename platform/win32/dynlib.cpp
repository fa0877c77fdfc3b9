#include "platform/dynlib.h"

#include <windows.h>
// windows.h maps LoadLibrary to LoadLibraryA, which would rename ours.
#undef LoadLibrary

namespace platform {

LibHandle LoadLibrary(const char* name) { return reinterpret_cast<LibHandle>(::LoadLibraryA(name)); }

void* GetProcAddress(LibHandle lib, const char* name) {
  if (!lib) return nullptr;
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(lib), name));
}

void* GetProcAddressByOrdinal(LibHandle lib, unsigned ordinal) {
  if (!lib) return nullptr;
  return reinterpret_cast<void*>(
      ::GetProcAddress(static_cast<HMODULE>(lib), reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(ordinal))));
}

void FreeLibrary(LibHandle lib) {
  if (lib) ::FreeLibrary(static_cast<HMODULE>(lib));
}

unsigned long GetLastError() { return ::GetLastError(); }

}  // namespace platform
