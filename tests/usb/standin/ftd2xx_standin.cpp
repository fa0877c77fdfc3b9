// A stand-in for the FTDI D2XX library (FTD2XX.dll on Windows, exporting
// the real library's ordinals; libftd2xx.so on Linux, by name). It plays the
// connected devices named in QRT_FTD2XX_DEVICES ("desc1|desc2|...") and
// appends one line per call to the file named in QRT_FTD2XX_LOG, so a test
// can check the order of the calls, their flags and the bytes written.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#ifdef _WIN32
#define FTAPI __stdcall
#define FTEXPORT extern "C"  // exported by ordinal through ftd2xx.def
using DWORD_ = unsigned long;
#else
#define FTAPI
#define FTEXPORT extern "C" __attribute__((visibility("default")))
using DWORD_ = unsigned int;
#endif

namespace {

// The handle handed out for an opened device.
int g_device = 0;
void* const kHandle = &g_device;

constexpr DWORD_ kOk = 0;
constexpr DWORD_ kInvalidHandle = 1;
constexpr DWORD_ kDeviceNotFound = 2;
constexpr DWORD_ kInvalidParameter = 6;

std::vector<std::string> Devices() {
  std::vector<std::string> devices;
  const char* env = std::getenv("QRT_FTD2XX_DEVICES");
  if (!env || !*env) return devices;
  std::string all = env;
  std::size_t start = 0;
  for (;;) {
    std::size_t bar = all.find('|', start);
    devices.push_back(all.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  return devices;
}

void Record(const std::string& line) {
  const char* path = std::getenv("QRT_FTD2XX_LOG");
  if (!path || !*path) return;
  if (std::FILE* f = std::fopen(path, "ab")) {
    std::fprintf(f, "%s\n", line.c_str());
    std::fclose(f);
  }
}

std::string Hex(unsigned long v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%08lX", v);
  return buf;
}

const char* HandleName(void* h) { return h == kHandle ? "device" : (h ? "foreign" : "null"); }

}  // namespace

FTEXPORT DWORD_ FTAPI FT_ListDevices(void* pArg1, void* pArg2, DWORD_ Flags) {
  std::vector<std::string> devices = Devices();
  if (Flags & 0x80000000u) {  // number only
    Record("FT_ListDevices number pArg2=" + std::string(pArg2 ? "set" : "null") + " flags=" + Hex(Flags));
    if (!pArg1) return kInvalidParameter;
    *static_cast<DWORD_*>(pArg1) = static_cast<DWORD_>(devices.size());
    return kOk;
  }
  if (Flags & 0x20000000u) {  // all devices, into an array of buffers ended by a null pointer
    char** buffers = static_cast<char**>(pArg1);
    std::size_t given = 0;
    while (buffers && given < 64 && buffers[given]) ++given;
    std::string in = pArg2 ? std::to_string(*static_cast<DWORD_*>(pArg2)) : "null";
    Record("FT_ListDevices all buffers=" + std::to_string(given) + " numDevs=" + in + " flags=" + Hex(Flags));
    // Like the real library: one description per device it has, whatever
    // the caller's array holds; an array that is too short is overrun.
    for (std::size_t i = 0; i < devices.size(); ++i) {
      std::strncpy(buffers[i], devices[i].c_str(), 63);
      buffers[i][63] = '\0';
    }
    if (pArg2) *static_cast<DWORD_*>(pArg2) = static_cast<DWORD_>(devices.size());
    return kOk;
  }
  Record("FT_ListDevices other flags=" + Hex(Flags));
  return kInvalidParameter;
}

FTEXPORT DWORD_ FTAPI FT_OpenEx(void* pArg1, DWORD_ Flags, void** pHandle) {
  std::string description = pArg1 ? static_cast<const char*>(pArg1) : "";
  bool found = false;
  if (Flags == 2)
    for (const std::string& d : Devices()) found = found || d == description;
  Record("FT_OpenEx \"" + description + "\" flags=" + Hex(Flags) + (found ? " opened" : " not found"));
  if (!pHandle) return kInvalidParameter;
  if (!found) return kDeviceNotFound;
  *pHandle = kHandle;
  return kOk;
}

FTEXPORT DWORD_ FTAPI FT_Write(void* ftHandle, void* lpBuffer, DWORD_ dwBytesToWrite, DWORD_* lpdwBytesWritten) {
  std::string line = "FT_Write handle=" + std::string(HandleName(ftHandle)) + " length=" + std::to_string(dwBytesToWrite) +
                     " written=" + (lpdwBytesWritten ? std::to_string(*lpdwBytesWritten) : "null") + " bytes=";
  const auto* bytes = static_cast<const unsigned char*>(lpBuffer);
  for (DWORD_ i = 0; bytes && i < dwBytesToWrite && i < 256; ++i) {
    char hex[4];
    std::snprintf(hex, sizeof hex, "%02X", bytes[i]);
    line += (i ? " " : "") + std::string(hex);
  }
  Record(line);
  if (ftHandle != kHandle) return kInvalidHandle;
  if (lpdwBytesWritten) *lpdwBytesWritten = dwBytesToWrite;
  return kOk;
}

FTEXPORT DWORD_ FTAPI FT_Close(void* ftHandle) {
  Record("FT_Close handle=" + std::string(HandleName(ftHandle)));
  return ftHandle == kHandle ? kOk : kInvalidHandle;
}
