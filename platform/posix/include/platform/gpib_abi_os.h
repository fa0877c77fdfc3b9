// linux-gpib: libgpib.so.0 with its global status variables; the C calling
// convention. Older libraries lack the long count variable and offer the
// per-thread reader instead.
#pragma once

#define QRT_GPIB_CALL

namespace platform {

inline constexpr char kGpibLibraryName[] = "libgpib.so.0";
inline constexpr char kGpibStatusName[] = "ibsta";
inline constexpr char kGpibErrorName[] = "iberr";
inline constexpr char kGpibCountName[] = "ibcntl";
// Read when the count variable is missing; nullptr where there is none.
inline constexpr const char* kGpibCountReaderName = "ThreadIbcntl";

using GpibAddr4882Os = short;

}  // namespace platform
