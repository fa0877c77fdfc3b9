// The two device links (COM port, GPIB) and the link that reaches no device.
// Which one an address gets is the table of link kinds' choice (LinkAddress.cpp).
#include "link/DeviceLink.h"

#include <cstring>
#include <utility>

#include "link/GpibLibrary.h"
#include "link/serialport.h"

namespace {

int ClampReceive(int n) { return n < 0 ? 0 : (n > kMaxReceive ? kMaxReceive : n); }

// A COM port of the window's serial-port manager.
class ComLink : public DeviceLink {
 public:
  ComLink(SerialPort& serial, int nPort) : m_serial(serial), m_nPort(nPort) {}

  int Open(const LinkSettings& s) override {
    if (!m_serial.OpenPort(m_nPort)) {
      m_strError = m_serial.LastOpenError();
      return 0;
    }
    m_strError.clear();
    // Failures of these two settings are shown by the manager itself; the
    // run goes on with the port as the failed setting left it.
    m_serial.SetTimeouts(m_nPort, s.dwReadInterval, s.dwReadMultiplier, s.dwReadConstant, s.dwWriteMultiplier,
                         s.dwWriteConstant);
    m_serial.ConfigurePort(m_nPort, s.dwBaudRate, s.byByteSize, s.nParityCheck, s.byParity, s.byStopBits, s.chXon,
                           s.chXoff);
    return 1;
  }

  // The whole string in one write call: a USB-serial adapter makes one USB
  // transfer per call, and one call per character would hold the line to
  // about one character per 1 ms USB frame.
  int SendString(const std::string& str) override { return m_serial.WriteString(m_nPort, str); }
  int SendByte(char ch) override { return m_serial.WriteByte(m_nPort, static_cast<std::uint8_t>(ch)); }

  std::string ReceiveString(int n) override {
    n = ClampReceive(n);
    char buffer[kMaxReceive + 1] = {};
    // Every read is made, so that the reply is consumed from the port even
    // when a character timed out; the string ends at the first gap.
    for (int i = 0; i < n; ++i) m_serial.ReadByte(m_nPort, &buffer[i]);
    buffer[n] = '\0';
    return buffer;
  }

  void Purge() override { m_serial.PurgeReceive(m_nPort); }
  void Close() override { m_serial.ClosePort(m_nPort); }
  void Release() override { m_serial.ClosePort(m_nPort); }
  std::string LastError() const override { return m_strError; }

 private:
  SerialPort& m_serial;
  const int m_nPort;
  std::string m_strError;
};

// The GPIB device of the run, through the GPIB library binding. The
// descriptor lives in the window's field, from ibdev to ibonl.
class GpibLink : public DeviceLink {
 public:
  explicit GpibLink(std::int32_t& nDevice) : m_nDevice(nDevice) {}

  int Open(const LinkSettings& s) override {
    m_nDevice = gpib::ibdev(s.nGpibBoard, s.nGpibPad, s.nGpibSad, s.nGpibTimeout, s.nGpibEot, s.nGpibEos);
    // A descriptor that is not one is not refused here: the device then
    // does not answer and the transfer says so. The reason is kept.
    m_strError = m_nDevice < 0 ? "ibdev failed (iberr " + std::to_string(gpib::iberr) + ")" : "";
    // Without the library nothing answers: say which file was looked for.
    if (!gpib::IsLibraryLoaded())
      m_strError = std::string("the GPIB library ") + gpib::LibraryName() +
                   " was not found, or is not a GPIB library (is the GPIB controller's driver installed?)";
    return 1;
  }

  // The whole string in one ibwrt: with EOI off and no end-of-string
  // character the bus carries the same bytes with the same handshake as one
  // write per character would, but a USB-GPIB controller makes one round
  // trip per call. Sent only when the library reports no error and took
  // every byte; a short write is not completed here, it is a failed send.
  int SendString(const std::string& str) override {
    if (str.empty()) return 1;
    const long nCount = static_cast<long>(str.size());
    if (gpib::ibwrt(m_nDevice, str.data(), nCount) & gpib::kErr) return 0;
    return gpib::ibcntl == nCount ? 1 : 0;
  }
  int SendByte(char ch) override { return (gpib::ibwrt(m_nDevice, &ch, 1) & gpib::kErr) ? 0 : 1; }

  std::string ReceiveString(int n) override {
    n = ClampReceive(n);
    char buffer[kMaxReceive + 1] = {};
    gpib::ibrd(m_nDevice, buffer, n);
    // The count of a missing library holds an OS error code and that of a
    // misbehaving one may be anything: only 0 to n bytes are taken.
    std::int32_t nCount = gpib::ibcntl;
    if (nCount < 0) nCount = 0;
    if (nCount > n) nCount = n;
    buffer[nCount] = '\0';
    return buffer;
  }

  void Purge() override {}
  void Close() override { gpib::ibonl(m_nDevice, 0); }
  std::string LastError() const override { return m_strError; }

 private:
  std::int32_t& m_nDevice;
  std::string m_strError;
};

// USB and addresses that name no device: nothing reaches one.
class NoLink : public DeviceLink {
 public:
  explicit NoLink(std::string strWhy) : m_strWhy(std::move(strWhy)) {}
  int Open(const LinkSettings&) override {
    m_strError = m_strWhy;
    return 0;
  }
  int SendString(const std::string&) override { return 0; }
  int SendByte(char) override { return 0; }
  std::string ReceiveString(int) override { return ""; }
  void Purge() override {}
  void Close() override {}
  std::string LastError() const override { return m_strError; }

 private:
  std::string m_strWhy;
  std::string m_strError;
};

}  // namespace

std::unique_ptr<DeviceLink> MakeComLink(int nPort, const LinkResources& resources) {
  return std::make_unique<ComLink>(resources.serial, nPort);
}

std::unique_ptr<DeviceLink> MakeGpibLink(const LinkResources& resources) {
  return std::make_unique<GpibLink>(resources.nGpibDevice);
}

std::unique_ptr<DeviceLink> MakeNoLink(const std::string& strWhy) { return std::make_unique<NoLink>(strWhy); }
