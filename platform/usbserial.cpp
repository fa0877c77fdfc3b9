// Choosing a port by its USB adapter's serial number: plain matching over a
// listing, the same for every operating system (platform/ports.h).
#include <algorithm>
#include <cctype>

#include "platform/ports.h"

namespace platform {

namespace {

bool SameSerial(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
         });
}

}  // namespace

int FindUsbSerialPort(const std::vector<ComPortEntry>& ports, const std::string& strSerial, ComPortEntry* pEntry,
                      std::string* pstrReason) {
  std::vector<const ComPortEntry*> found;
  std::string strThere;
  for (const ComPortEntry& port : ports) {
    if (port.strSerial.empty()) continue;
    if (SameSerial(port.strSerial, strSerial)) found.push_back(&port);
    strThere += (strThere.empty() ? "" : ", ") + port.strSerial + " (" +
                (port.n > 0 ? "COM" + std::to_string(port.n) : port.strPath) + ")";
  }
  if (found.size() == 1) {
    if (pEntry) *pEntry = *found[0];
    return 1;
  }
  if (pstrReason) {
    if (strSerial.empty()) {
      *pstrReason = "usb: needs the adapter's serial number (usb:SERIAL)";
    } else if (found.empty()) {
      *pstrReason = "no USB adapter with serial number " + strSerial + " is plugged in";
    } else {
      *pstrReason = std::to_string(found.size()) + " USB adapters report serial number " + strSerial +
                    ": choose the port by its path instead";
    }
    *pstrReason += strThere.empty() ? "; no adapter here reports a serial number" : "; serial numbers here: " + strThere;
  }
  return 0;
}

}  // namespace platform
