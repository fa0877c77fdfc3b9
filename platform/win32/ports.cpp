// Windows COM ports: the ports the system lists (its DOS device names and
// the SERIALCOMM device map), named as Device Manager names them where the
// system has a friendly name.
#include "platform/ports.h"

#include <windows.h>
#include <setupapi.h>

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

// Device Manager's names of the ports present ("USB Serial Port (COM7)").
std::map<int, std::string> FriendlyNames() {
  std::map<int, std::string> names;
  HDEVINFO hInfo = SetupDiGetClassDevsA(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT);
  if (hInfo == INVALID_HANDLE_VALUE) return names;
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
    char szFriendly[512] = {0};
    if (n > 0 && SetupDiGetDeviceRegistryPropertyA(hInfo, &data, SPDRP_FRIENDLYNAME, nullptr,
                                                   reinterpret_cast<BYTE*>(szFriendly), sizeof szFriendly - 1,
                                                   nullptr))
      names[n] = szFriendly;
  }
  SetupDiDestroyDeviceInfoList(hInfo);
  return names;
}

}  // namespace

std::string ComPortPath(int n) { return "//./COM" + std::to_string(n); }

void SetComPortPath(int n, const std::string& strPath) { _putenv_s(ComPortVariable(n).c_str(), strPath.c_str()); }

std::vector<ComPortEntry> ListComPorts(std::vector<std::string>* pNotes) {
  std::map<int, std::string> devices;  // number -> the system's device name
  ReadSerialComm(devices);
  for (const std::string& strName : DosDeviceNames()) {
    int n = ComNumber(strName);
    if (n > 0 && devices[n].empty()) devices[n] = DosDeviceTarget(strName);
  }
  std::map<int, std::string> friendly = FriendlyNames();
  std::vector<ComPortEntry> list;
  for (const auto& [n, strDevice] : devices) {
    if (n > kMaxCom) {
      if (pNotes)
        pNotes->push_back("COM" + std::to_string(n) +
                          ": beyond COM29, which the program cannot choose; give the port a lower number in "
                          "Device Manager");
      continue;
    }
    auto it = friendly.find(n);
    list.push_back({n, ComPortPath(n), it != friendly.end() ? it->second : strDevice});
  }
  return list;
}

}  // namespace platform
