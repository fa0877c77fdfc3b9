// POSIX COM port numbers: the QRTUPDATE_COM<n> variables, else a fixed
// device per number (platform/ports.h); the listing reads what sysfs knows
// of each serial device.
#include "platform/ports.h"

#include "platform/file.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <system_error>

namespace platform {

namespace {

namespace fs = std::filesystem;

// Device name prefixes and the COM number of their unit 0; ten units each.
struct ComRange {
  const char* pszPrefix;
  int nFirst;
  int nCount;
};
constexpr ComRange kRanges[] = {{"ttyS", 1, 9}, {"ttyUSB", 10, 10}, {"ttyACM", 20, 10}};

constexpr int kMaxCom = 29;

std::string DeviceRoot() {
  const char* psz = std::getenv("QRTUPDATE_DEVICE_ROOT");
  return psz ? psz : "";
}

std::string Variable(int n) {
  const char* psz = std::getenv(ComPortVariable(n).c_str());
  return psz ? psz : "";
}

// The range of a serial device name ("ttyUSB3": ttyUSB, unit 3), or null.
// The kernel writes unit numbers without leading zeros, and ComPortPath
// opens exactly that name: "ttyUSB01" is some other device, not unit 1
// (its unit is set to -1, no COM number).
const ComRange* RangeOfDevice(const std::string& strName, int* pnUnit) {
  for (const ComRange& r : kRanges) {
    std::string strPrefix = r.pszPrefix;
    if (strName.size() <= strPrefix.size() || strName.size() > strPrefix.size() + 6 ||
        strName.compare(0, strPrefix.size(), strPrefix) != 0 ||
        strName.find_first_not_of("0123456789", strPrefix.size()) != std::string::npos)
      continue;
    const bool bLeadingZero = strName[strPrefix.size()] == '0' && strName.size() > strPrefix.size() + 1;
    *pnUnit = bLeadingZero ? -1 : std::stoi(strName.substr(strPrefix.size()));
    return &r;
  }
  return nullptr;
}

bool IsCharDevice(const std::string& strPath) {
  struct stat st {};
  return ::stat(strPath.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}

// The first line of a sysfs attribute. Read as the program reads its data
// files: only a regular file, opened without waiting, so that a FIFO or a
// device in its place cannot hang the listing; at most one page, as sysfs
// never holds more.
std::string FirstLine(const fs::path& path) {
  platform::UniqueFile file(platform::OpenRegularFileForReading(path.string()));
  if (!file) return "";
  char buf[4096];
  const std::size_t n = std::fread(buf, 1, sizeof buf, file.get());
  std::string str(buf, n);
  if (const std::size_t nEnd = str.find('\n'); nEnd != std::string::npos) str.resize(nEnd);
  while (!str.empty() && (str.back() == ' ' || str.back() == '\r' || str.back() == '\t')) str.pop_back();
  return str;
}

// The UART types serial_core reports in sysfs "type"; 0 is no UART found.
std::string UartName(int nType) {
  static const char* const kNames[] = {"",       "8250",     "16450",  "16550",  "16550A",  "Cirrus",  "16650",
                                       "16650V2", "16750", "Startech", "16C950", "16654", "16850"};
  if (nType > 0 && nType < static_cast<int>(sizeof kNames / sizeof kNames[0])) return kNames[nType];
  return "";
}

int UartType(const fs::path& ttyDir) {
  std::string str = FirstLine(ttyDir / "type");
  if (str.empty() || str.find_first_not_of("0123456789") != std::string::npos || str.size() > 4) return 0;
  return std::stoi(str);
}

// What sysfs says of tty strName, field by field: for a USB adapter its
// maker, product, vendor and product ids and serial number; the driver; and
// the one-line description made of them (for a UART its type).
void Describe(const std::string& strRoot, const std::string& strName, ComPortEntry& port) {
  std::error_code ec;
  fs::path ttyDir = fs::path(strRoot + "/sys/class/tty") / strName;
  fs::path device = fs::canonical(ttyDir / "device", ec);
  if (ec) return;
  // Newer kernels put the serial core's own port and controller devices
  // between a UART's tty and its hardware; the driver is the hardware's.
  fs::path hardware = device;
  while (hardware.has_relative_path() && fs::canonical(hardware / "subsystem", ec).filename() == "serial-base")
    hardware = hardware.parent_path();
  std::string strDriver = fs::canonical(hardware / "driver", ec).filename().string();
  if (ec) strDriver.clear();
  port.strDriver = strDriver;
  std::string strDetails;
  auto add = [&](const std::string& str) {
    if (!str.empty()) strDetails += (strDetails.empty() ? "" : ", ") + str;
  };
  std::string strText;
  // The USB device is the nearest folder above the port with a vendor id
  // (the interface's parent for ttyACM, one more level for ttyUSB).
  fs::path sysTop = fs::canonical(strRoot + "/sys", ec);
  fs::path usb;
  for (fs::path p = device; !ec && p.has_relative_path() && p != sysTop; p = p.parent_path()) {
    if (fs::exists(p / "idVendor")) {
      usb = p;
      break;
    }
  }
  if (!usb.empty()) {
    port.strManufacturer = FirstLine(usb / "manufacturer");
    port.strProduct = FirstLine(usb / "product");
    port.strVid = FirstLine(usb / "idVendor");
    port.strPid = FirstLine(usb / "idProduct");
    port.strSerial = FirstLine(usb / "serial");
    strText = port.strManufacturer;
    if (!port.strProduct.empty()) strText += (strText.empty() ? "" : " ") + port.strProduct;
    add("USB " + port.strVid + ":" + port.strPid);
    if (!port.strSerial.empty()) add("serial " + port.strSerial);
  } else {
    std::string strUart = UartName(UartType(ttyDir));
    strText = strUart.empty() ? "serial port" : strUart + " UART";
  }
  if (!strDriver.empty()) add("driver " + strDriver);
  port.strDescription = strDetails.empty() ? strText : strText.empty() ? strDetails : strText + " (" + strDetails + ")";
}

// The serial devices sysfs knows and /dev has, by name, each with its COM
// number by the numbering (0: none). Of the ttyS ports only those with a
// UART behind them count: the kernel keeps placeholders for ports that may
// not exist.
std::map<std::string, ComPortEntry> SerialDevices(const std::string& strRoot) {
  std::error_code ec;
  std::map<std::string, ComPortEntry> devices;
  const fs::path ttyClass = strRoot + "/sys/class/tty";
  for (const auto& entry : fs::directory_iterator(ttyClass, ec)) {
    std::string strName = entry.path().filename().string();
    int nUnit = 0;
    const ComRange* pRange = RangeOfDevice(strName, &nUnit);
    if (!pRange || (pRange == &kRanges[0] && UartType(ttyClass / strName) == 0)) continue;
    ComPortEntry port;
    port.n = nUnit >= 0 && nUnit < pRange->nCount ? pRange->nFirst + nUnit : 0;
    port.strPath = strRoot + "/dev/" + strName;
    if (!IsCharDevice(port.strPath)) continue;
    Describe(strRoot, strName, port);
    devices[strName] = port;
  }
  return devices;
}

// The adapter a usb:SERIAL text names, among the serial devices there are.
int FindUsbDevice(const std::string& strText, ComPortEntry* pEntry, std::string* pstrReason) {
  std::vector<ComPortEntry> ports;
  for (const auto& [strName, port] : SerialDevices(DeviceRoot())) ports.push_back(port);
  return FindUsbSerialPort(ports, strText.substr(sizeof kUsbSerialPrefix - 1), pEntry, pstrReason);
}

// Why the user cannot open a port that is there, or "".
std::string PermissionNote(int n, const std::string& strPath) {
  if (::access(strPath.c_str(), R_OK | W_OK) == 0) return "";
  std::string strNote = "COM" + std::to_string(n) + ": " + strPath + ": no permission to read and write it";
  struct stat st {};
  if (::stat(strPath.c_str(), &st) == 0) {
    if (const group* g = ::getgrgid(st.st_gid); g && st.st_gid != 0)
      strNote += "; members of group " + std::string(g->gr_name) + " may";
  }
  return strNote;
}

}  // namespace

std::string ComPortPath(int n) {
  if (n < 1 || n > kMaxCom) return "";
  if (std::string strVar = Variable(n); !strVar.empty()) {
    if (!IsUsbSerialText(strVar)) return strVar;
    ComPortEntry port;
    return FindUsbDevice(strVar, &port, nullptr) ? port.strPath : "";
  }
  for (const ComRange& r : kRanges) {
    if (n >= r.nFirst && n < r.nFirst + r.nCount)
      return DeviceRoot() + "/dev/" + r.pszPrefix + std::to_string(n - r.nFirst);
  }
  return "";
}

std::string ComPortUsbProblem(int n) {
  if (n < 1 || n > kMaxCom) return "";
  const std::string strVar = Variable(n);
  std::string strReason;
  if (!IsUsbSerialText(strVar) || FindUsbDevice(strVar, nullptr, &strReason)) return "";
  return strReason;
}

std::string ComPortNetworkAddress(int n) {
  if (n < 1 || n > kMaxCom) return "";
  std::string strVar = Variable(n);
  return IsNetworkAddressText(strVar) ? strVar : "";
}

void SetComPortPath(int n, const std::string& strPath) { ::setenv(ComPortVariable(n).c_str(), strPath.c_str(), 1); }

std::vector<ComPortEntry> ListComPorts(std::vector<std::string>* pNotes) {
  auto note = [&](const std::string& str) {
    if (pNotes && !str.empty()) pNotes->push_back(str);
  };
  const std::string strRoot = DeviceRoot();
  std::map<int, ComPortEntry> ports;
  const std::map<std::string, ComPortEntry> devices = SerialDevices(strRoot);

  // The variables come first: they take their numbers from the devices.
  for (int n = 1; n <= kMaxCom; ++n) {
    std::string strPath = Variable(n);
    if (strPath.empty()) continue;
    if (IsNetworkAddressText(strPath)) {
      ports[n] = ComPortEntry(n, strPath, ComPortVariable(n) + ": a port on a serial device server");
      continue;
    }
    if (IsUsbSerialText(strPath)) {
      // The adapter's own port, under the number that stands for it.
      ComPortEntry port;
      std::string strReason;
      if (!FindUsbDevice(strPath, &port, &strReason)) {
        note("COM" + std::to_string(n) + ": " + ComPortVariable(n) + "=" + strPath + ": " + strReason);
        continue;
      }
      port.n = n;
      port.strDescription = ComPortVariable(n) + "=" + strPath + ": " + port.strDescription;
      ports[n] = port;
      continue;
    }
    if (!IsCharDevice(strPath)) {
      note("COM" + std::to_string(n) + ": " + ComPortVariable(n) + "=" + strPath + " is no device");
      continue;
    }
    std::error_code ec;
    std::string strName = fs::canonical(strPath, ec).filename().string();
    ComPortEntry port{n, strPath, ""};
    if (!ec) Describe(strRoot, strName, port);
    port.strDescription = ComPortVariable(n) + (port.strDescription.empty() ? "" : ": " + port.strDescription);
    ports[n] = port;
  }

  // Then the serial devices sysfs knows, where /dev has them.
  for (const auto& [strName, device] : devices) {
    const int n = device.n;
    if (n == 0) {
      note(device.strPath + ": no COM number; use --port " + device.strPath);
    } else if (ports.count(n)) {
      note(device.strPath + ": COM" + std::to_string(n) + " is " + ComPortVariable(n) + "; use --port " +
           device.strPath);
    } else {
      ports[n] = device;
    }
  }

  std::vector<ComPortEntry> list;
  for (const auto& [n, port] : ports) {
    note(PermissionNote(n, port.strPath));
    list.push_back(port);
  }
  return list;
}

}  // namespace platform
