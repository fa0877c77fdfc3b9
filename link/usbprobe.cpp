#include "link/usbprobe.h"

#include <array>
#include <cstring>
#include <vector>

#include "platform/dynlib.h"

namespace {

// More D2XX devices than one PC can hold (127 per USB bus, a few buses).
constexpr platform::FtDword kMaxListedDevices = 1024;

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

  platform::FtDword numDevs = 0;
  ftdi.pfnListDevices(&numDevs, nullptr, platform::kFtListNumberOnly);
  // The library writes one description for every device it counts, so the
  // list gets as many 64-byte buffers as it reported, and a null pointer
  // after them. A count beyond any real bus is not believed: the listing,
  // whose descriptions are not used further, is left out then.
  if (numDevs <= kMaxListedDevices) {
    std::vector<std::array<char, 64>> Buffers(numDevs);
    std::vector<char*> pBuffer(numDevs + 1, nullptr);
    for (platform::FtDword i = 0; i < numDevs; ++i) {
      Buffers[i].fill('\0');
      pBuffer[i] = Buffers[i].data();
    }
    ftdi.pfnListDevices(pBuffer.data(), &numDevs, platform::kFtListAll | platform::kFtOpenByDescription);
  }

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
