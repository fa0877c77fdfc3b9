// Windows COM ports: the ports the system lists (its DOS device names and
// the SERIALCOMM device map), named as Device Manager names them where the
// system has a friendly name.
#include "platform/ports.h"

#include <windows.h>
#include <cfgmgr32.h>
#include <setupapi.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace platform {

namespace {

constexpr int kMaxCom = 29;

// The class of ports (COM and LPT) in the device manager.
const GUID kPortsClass = {0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

// The number of a name "COM<n>" (any case, no leading zero), or 0.
int ComNumber(const std::string& strName) {
  if (strName.size() < 4 || strName.size() > 6 || _strnicmp(strName.c_str(), "COM", 3) != 0 || strName[3] == '0')
    return 0;
  int n = 0;
  for (std::size_t i = 3; i < strName.size(); ++i) {
    if (strName[i] < '0' || strName[i] > '9') return 0;
    n = n * 10 + (strName[i] - '0');
  }
  return n;
}

// Every DOS device name (QueryDosDevice with no name), growing the buffer
// as the system asks.
std::vector<std::string> DosDeviceNames() {
  std::vector<char> buffer(16384);
  for (;;) {
    DWORD dw = QueryDosDeviceA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (dw != 0) break;
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || buffer.size() >= (1u << 22)) return {};
    buffer.resize(buffer.size() * 2);
  }
  std::vector<std::string> names;
  for (const char* p = buffer.data(); *p; p += std::strlen(p) + 1) names.emplace_back(p);
  return names;
}

std::string DosDeviceTarget(const std::string& strName) {
  char target[1024] = {0};
  if (QueryDosDeviceA(strName.c_str(), target, sizeof target) == 0) return "";
  return target;
}

// SERIALCOMM: value name the system's device (\Device\Serial0), data "COM<n>".
void ReadSerialComm(std::map<int, std::string>& devices) {
  HKEY hKey = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &hKey) != ERROR_SUCCESS)
    return;
  for (DWORD i = 0;; ++i) {
    char szName[256];
    BYTE data[256];
    DWORD cchName = sizeof szName, cbData = sizeof data - 1, dwType = 0;
    LONG r = RegEnumValueA(hKey, i, szName, &cchName, nullptr, &dwType, data, &cbData);
    if (r == ERROR_MORE_DATA) continue;
    if (r != ERROR_SUCCESS) break;
    if (dwType != REG_SZ) continue;
    data[cbData] = 0;
    if (int n = ComNumber(reinterpret_cast<char*>(data)); n > 0) devices[n] = szName;
  }
  RegCloseKey(hKey);
}

std::string RegistryText(HDEVINFO hInfo, SP_DEVINFO_DATA& data, DWORD dwProperty) {
  char sz[512] = {0};
  if (!SetupDiGetDeviceRegistryPropertyA(hInfo, &data, dwProperty, nullptr, reinterpret_cast<BYTE*>(sz),
                                         sizeof sz - 1, nullptr))
    return "";
  return sz;
}

// The four hex digits after strKey ("VID_") in an instance id, or "".
std::string IdField(const std::string& strId, const char* pszKey) {
  const std::size_t nAt = strId.find(pszKey);
  if (nAt == std::string::npos || nAt + 4 + std::strlen(pszKey) > strId.size()) return "";
  std::string str = strId.substr(nAt + std::strlen(pszKey), 4);
  for (char& c : str) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return str;
}

// A port's USB adapter: the nearest device above the port whose instance id
// is USB\VID_xxxx&PID_xxxx\SERIAL (the FTDI driver's FTDIBUS node and a
// composite device's interface, USB\VID..&MI_00, lie between). Its last part
// is the serial number the device reports; one with '&' in it is a number
// Windows made up for a device that reports none.
void UsbDetails(DEVINST devInst, ComPortEntry& port) {
  for (int nLevel = 0; nLevel < 4; ++nLevel) {
    DEVINST parent = 0;
    if (CM_Get_Parent(&parent, devInst, 0) != CR_SUCCESS) return;
    devInst = parent;
    char szId[MAX_DEVICE_ID_LEN + 1] = {0};
    if (CM_Get_Device_IDA(devInst, szId, MAX_DEVICE_ID_LEN, 0) != CR_SUCCESS) return;
    std::string strId = szId;
    if (_strnicmp(szId, "USB\\VID_", 8) != 0 || strId.find("&MI_") != std::string::npos) continue;
    port.strVid = IdField(strId, "VID_");
    port.strPid = IdField(strId, "PID_");
    const std::size_t nSlash = strId.rfind('\\');
    const std::string strSerial = nSlash == std::string::npos ? "" : strId.substr(nSlash + 1);
    if (!strSerial.empty() && strSerial.find('&') == std::string::npos) port.strSerial = strSerial;
    return;
  }
}

// What Device Manager knows of the ports present: its names ("USB Serial
// Port (COM7)"), maker, driver service and USB adapter, by COM number.
std::map<int, ComPortEntry> DeviceDetails() {
  std::map<int, ComPortEntry> details;
  HDEVINFO hInfo = SetupDiGetClassDevsA(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT);
  if (hInfo == INVALID_HANDLE_VALUE) return details;
  SP_DEVINFO_DATA data{};
  data.cbSize = sizeof data;
  for (DWORD i = 0; SetupDiEnumDeviceInfo(hInfo, i, &data); ++i) {
    HKEY hKey = SetupDiOpenDevRegKey(hInfo, &data, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (hKey == INVALID_HANDLE_VALUE) continue;
    char szPort[64] = {0};
    DWORD cb = sizeof szPort - 1, dwType = 0;
    LONG r = RegQueryValueExA(hKey, "PortName", nullptr, &dwType, reinterpret_cast<BYTE*>(szPort), &cb);
    RegCloseKey(hKey);
    int n = (r == ERROR_SUCCESS && dwType == REG_SZ) ? ComNumber(szPort) : 0;
    if (n == 0) continue;
    ComPortEntry& port = details[n];
    port.n = n;
    port.strDescription = RegistryText(hInfo, data, SPDRP_FRIENDLYNAME);
    port.strManufacturer = RegistryText(hInfo, data, SPDRP_MFG);
    port.strProduct = RegistryText(hInfo, data, SPDRP_DEVICEDESC);
    port.strDriver = RegistryText(hInfo, data, SPDRP_SERVICE);
    UsbDetails(data.DevInst, port);
  }
  SetupDiDestroyDeviceInfoList(hInfo);
  return details;
}

// The COM ports the system has, whatever the variables say.
std::vector<ComPortEntry> SystemPorts(std::vector<std::string>* pNotes) {
  std::map<int, std::string> devices;  // number -> the system's device name
  ReadSerialComm(devices);
  for (const std::string& strName : DosDeviceNames()) {
    int n = ComNumber(strName);
    if (n > 0 && devices[n].empty()) devices[n] = DosDeviceTarget(strName);
  }
  std::map<int, ComPortEntry> details = DeviceDetails();
  std::vector<ComPortEntry> list;
  for (const auto& [n, strDevice] : devices) {
    if (n > kMaxCom) {
      if (pNotes)
        pNotes->push_back("COM" + std::to_string(n) +
                          ": beyond COM29, which the program cannot choose; give the port a lower number in "
                          "Device Manager");
      continue;
    }
    ComPortEntry port = details.count(n) ? details[n] : ComPortEntry{};
    port.n = n;
    port.strPath = "//./COM" + std::to_string(n);
    if (port.strDescription.empty()) port.strDescription = strDevice;
    list.push_back(port);
  }
  return list;
}

std::string Variable(int n) {
  const char* psz = std::getenv(ComPortVariable(n).c_str());
  return psz ? psz : "";
}

int FindUsbDevice(const std::string& strText, ComPortEntry* pEntry, std::string* pstrReason) {
  return FindUsbSerialPort(SystemPorts(nullptr), strText.substr(sizeof kUsbSerialPrefix - 1), pEntry, pstrReason);
}

}  // namespace

std::string ComPortNetworkAddress(int n) {
  if (n < 1 || n > kMaxCom) return "";
  const std::string strVar = Variable(n);
  return IsNetworkAddressText(strVar) ? strVar : "";
}

std::string ComPortUsbProblem(int n) {
  if (n < 1 || n > kMaxCom) return "";
  const std::string strVar = Variable(n);
  std::string strReason;
  if (!IsUsbSerialText(strVar) || FindUsbDevice(strVar, nullptr, &strReason)) return "";
  return strReason;
}

std::string ComPortPath(int n) {
  if (n < 1 || n > kMaxCom) return "";
  const std::string strVar = Variable(n);
  if (IsNetworkAddressText(strVar)) return strVar;
  if (IsUsbSerialText(strVar)) {
    ComPortEntry port;
    return FindUsbDevice(strVar, &port, nullptr) ? port.strPath : "";
  }
  return "//./COM" + std::to_string(n);
}

void SetComPortPath(int n, const std::string& strPath) { _putenv_s(ComPortVariable(n).c_str(), strPath.c_str()); }

std::vector<ComPortEntry> ListComPorts(std::vector<std::string>* pNotes) {
  std::map<int, ComPortEntry> ports;
  for (const ComPortEntry& port : SystemPorts(pNotes)) ports[port.n] = port;
  // A COM number that stands for a network port or a USB adapter by its
  // serial number is that port, whatever device the system has under the
  // number.
  for (int n = 1; n <= kMaxCom; ++n) {
    const std::string strVar = Variable(n);
    if (IsNetworkAddressText(strVar)) {
      ports[n] = ComPortEntry(n, strVar, ComPortVariable(n) + ": a port on a serial device server");
    } else if (IsUsbSerialText(strVar)) {
      ComPortEntry port;
      std::string strReason;
      if (FindUsbDevice(strVar, &port, &strReason)) {
        port.n = n;
        port.strDescription = ComPortVariable(n) + "=" + strVar + ": " + port.strDescription;
        ports[n] = port;
      } else {
        ports.erase(n);
        if (pNotes)
          pNotes->push_back("COM" + std::to_string(n) + ": " + ComPortVariable(n) + "=" + strVar + ": " + strReason);
      }
    }
  }
  std::vector<ComPortEntry> list;
  for (const auto& [n, port] : ports) list.push_back(port);
  return list;
}

}  // namespace platform
