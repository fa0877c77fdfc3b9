// NI-488.2 for Windows: GPIB-32.DLL, its status variables exported under the
// user_ names, every entry __stdcall (which matters in the 32-bit build).
#pragma once

#define QRT_GPIB_CALL __stdcall

namespace platform {

inline constexpr char kGpibLibraryName[] = "GPIB-32.DLL";
inline constexpr char kGpibStatusName[] = "user_ibsta";
inline constexpr char kGpibErrorName[] = "user_iberr";
inline constexpr char kGpibCountName[] = "user_ibcntl";
inline constexpr const char* kGpibCountReaderName = nullptr;

using GpibAddr4882Os = unsigned short;

}  // namespace platform
