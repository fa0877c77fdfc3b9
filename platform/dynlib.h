// Run-time loading of optional vendor libraries (GPIB, FTDI D2XX), so that
// the program starts and runs on a PC that lacks them.
#pragma once

namespace platform {

using LibHandle = void*;

// LoadLibraryA / dlopen. Returns nullptr when the library cannot be loaded.
LibHandle LoadLibrary(const char* name);
// GetProcAddress / dlsym by exported name; nullptr when missing.
void* GetProcAddress(LibHandle lib, const char* name);
// GetProcAddress by ordinal on Windows. A shared object has no ordinals,
// so on POSIX this yields nullptr and callers look symbols up by name.
void* GetProcAddressByOrdinal(LibHandle lib, unsigned ordinal);
// FreeLibrary / dlclose.
void FreeLibrary(LibHandle lib);
// GetLastError on Windows; errno of the last failed call on POSIX.
unsigned long GetLastError();

}  // namespace platform
