// How the FTDI D2XX library of this operating system is called: its file
// name, how its entries are found, its calling convention and the types of
// the four calls the USB probe makes. The per-OS part comes from the include
// path the build sets (platform/<os>/include), so the probe stays OS-neutral.
#pragma once
#include "platform/ftdi_abi_os.h"

namespace platform {

using FtHandle = void*;
using FtDword = FtDwordOs;  // DWORD of the D2XX interface, 32 bits everywhere
using FtStatus = FtDwordOs;

inline constexpr FtStatus kFtOk = 0;

// FT_ListDevices flags.
inline constexpr FtDword kFtListNumberOnly = 0x80000000u;
inline constexpr FtDword kFtListAll = 0x20000000u;
// FT_OpenEx flag, also the FT_ListDevices "by description" flag.
inline constexpr FtDword kFtOpenByDescription = 2;

using FtListDevicesFn = FtStatus(QRT_FTDI_CALL*)(void* pArg1, void* pArg2, FtDword dwFlags);
using FtOpenExFn = FtStatus(QRT_FTDI_CALL*)(void* pArg1, FtDword dwFlags, FtHandle* pHandle);
using FtWriteFn = FtStatus(QRT_FTDI_CALL*)(FtHandle ftHandle, void* lpBuffer, FtDword dwBytesToWrite,
                                           FtDword* lpdwBytesWritten);
using FtCloseFn = FtStatus(QRT_FTDI_CALL*)(FtHandle ftHandle);

// The D2XX entries the probe uses, with their export ordinals in FTD2XX.dll.
struct FtdiEntryName {
  unsigned ordinal;
  const char* name;
};
inline constexpr FtdiEntryName kFtListDevices = {28, "FT_ListDevices"};
inline constexpr FtdiEntryName kFtOpenEx = {27, "FT_OpenEx"};
inline constexpr FtdiEntryName kFtWrite = {4, "FT_Write"};
inline constexpr FtdiEntryName kFtClose = {2, "FT_Close"};

}  // namespace platform
