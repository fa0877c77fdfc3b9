// Windows: the system's own error text for a failed open names the cause,
// except for a COM number the system has no port under, where its text
// ("The system cannot find the file specified.") does not say what to do.
#include "platform/portreason.h"

#include <windows.h>

#include <cstdlib>

#include "platform/ports.h"

namespace platform {

namespace {

// n of "//./COMn" or "\\.\COMn", 0 for any other path.
int ComNumberOfPath(const std::string& strPath) {
  if (strPath.size() < 8 || strPath.compare(4, 3, "COM") != 0) return 0;
  const std::string strNumber = strPath.substr(7);
  if (strNumber.empty() || strNumber.size() > 3 || strNumber.find_first_not_of("0123456789") != std::string::npos)
    return 0;
  return std::atoi(strNumber.c_str());
}

}  // namespace

std::string PortOpenReason(const std::string& strPath) {
  const int n = ComNumberOfPath(strPath);
  if (n <= 0) return "";
  const std::string strName = "COM" + std::to_string(n);
  char szTarget[1024];
  if (QueryDosDeviceA(strName.c_str(), szTarget, sizeof szTarget) != 0) return "";
  if (GetLastError() != ERROR_FILE_NOT_FOUND) return "";
  return "the system has no " + strName + " (is the adapter plugged in? Device Manager shows the COM number it got); " +
         "a port on a serial device server is mapped to " + strName + " by the variable " + ComPortVariable(n) +
         " (" + ComPortVariable(n) + "=rfc2217://HOST:PORT)";
}

}  // namespace platform
