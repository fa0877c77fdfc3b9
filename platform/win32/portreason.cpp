// Windows: the system's own error text for the failed open says it all.
#include "platform/portreason.h"

namespace platform {

std::string PortOpenReason(const std::string&) { return ""; }

}  // namespace platform
