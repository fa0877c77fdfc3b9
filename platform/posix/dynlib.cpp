#include "platform/dynlib.h"

#include <dlfcn.h>

namespace platform {

namespace {
unsigned long g_nLastError = 0;
}

LibHandle LoadLibrary(const char* name) {
  LibHandle lib = dlopen(name, RTLD_NOW | RTLD_LOCAL);
  if (!lib) g_nLastError = 126;  // the Windows code for "module not found", so reports read alike
  return lib;
}

void* GetProcAddress(LibHandle lib, const char* name) {
  if (!lib) return nullptr;
  void* p = dlsym(lib, name);
  if (!p) g_nLastError = 127;  // "procedure not found"
  return p;
}

void* GetProcAddressByOrdinal(LibHandle, unsigned) {
  g_nLastError = 127;
  return nullptr;
}

void FreeLibrary(LibHandle lib) {
  if (lib) dlclose(lib);
}

unsigned long GetLastError() { return g_nLastError; }

}  // namespace platform
