// Why a serial device could not be opened, in the user's terms: the
// system's error text alone does not say which group to join, nor whether
// another program holds the port. The console adds this to its line after
// the "can not open port!" box.
#pragma once
#include <string>

namespace platform {

// Looks at the device at strPath again, without changing its line, and
// says why an open fails: missing, no permission (and what would give it),
// not a serial device, or in use by another program. "" when nothing more
// is known (always on Windows, whose error text already names the cause).
std::string PortOpenReason(const std::string& strPath);

}  // namespace platform
