#include "link/usbprobe.h"

#include <cstring>

#include "platform/dynlib.h"

namespace {

// The D2XX library for the length of one probe: loaded on entry, released
// on every way out.
class Ftd2xx {
 public:
  Ftd2xx() : m_hLib(platform::LoadLibrary(platform::kFtdiLibraryName)) {
    if (!m_hLib) return;
    pfnListDevices = reinterpret_cast<platform::FtListDevicesFn>(Entry(platform::kFtListDevices));
    pfnOpenEx = reinterpret_cast<platform::FtOpenExFn>(Entry(platform::kFtOpenEx));
    pfnWrite = reinterpret_cast<platform::FtWriteFn>(Entry(platform::kFtWrite));
    pfnClose = reinterpret_cast<platform::FtCloseFn>(Entry(platform::kFtClose));
  }
  ~Ftd2xx() { platform::FreeLibrary(m_hLib); }
  Ftd2xx(const Ftd2xx&) = delete;
  Ftd2xx& operator=(const Ftd2xx&) = delete;

  bool IsBound() const { return m_hLib && pfnListDevices && pfnOpenEx && pfnWrite && pfnClose; }

  platform::FtListDevicesFn pfnListDevices = nullptr;
  platform::FtOpenExFn pfnOpenEx = nullptr;
  platform::FtWriteFn pfnWrite = nullptr;
  platform::FtCloseFn pfnClose = nullptr;

 private:
  void* Entry(const platform::FtdiEntryName& e) { return platform::FtdiEntry(m_hLib, e.ordinal, e.name); }
  platform::LibHandle m_hLib;
};

}  // namespace

int UsbProbe::Run() {
  Ftd2xx ftdi;
  // Without the FTDI library (a PC without the card's driver) there is
  // nothing to probe.
  if (!ftdi.IsBound()) return 0;

  char Buffer0[64] = {};
  char Buffer1[64] = {};
  char Buffer2[64] = {};
  char Buffer3[64] = {};
  char Buffer4[64] = {};
  char* pBuffer[6] = {Buffer0, Buffer1, Buffer2, Buffer3, Buffer4, nullptr};

  platform::FtDword numDevs = 0;
  ftdi.pfnListDevices(&numDevs, nullptr, platform::kFtListNumberOnly);
  // Only five description buffers exist.
  if (numDevs > 5) numDevs = 5;
  ftdi.pfnListDevices(pBuffer, &numDevs, platform::kFtListAll | platform::kFtOpenByDescription);

  char szDescription[] = "TALVO VX512";
  m_USBHandle = nullptr;
  platform::FtStatus ftStatus = ftdi.pfnOpenEx(szDescription, platform::kFtOpenByDescription, &m_USBHandle);
  // No card opened: there is no handle to write to or to close.
  if (ftStatus != platform::kFtOk || !m_USBHandle) {
    m_USBHandle = nullptr;
    return 0;
  }

  char bufferwrite[8];
  std::memcpy(bufferwrite, "volt 5\n", 8);  // the terminating NUL is sent too
  platform::FtDword BytesWritten = 0;
  ftdi.pfnWrite(m_USBHandle, bufferwrite, 8, &BytesWritten);
  ftdi.pfnClose(m_USBHandle);
  m_USBHandle = nullptr;
  return 1;
}
