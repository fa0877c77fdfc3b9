// SerialPort: one operating-system handle per COM port number, each transfer
// one synchronous platform call (one byte, or one whole outgoing string). The
// manager reports its own configuration failures in error boxes; everything
// else is left to callers.
#include "link/serialport.h"

#include <string>

#include "platform/platform.h"

namespace {

// Diagnostic builds name this file and line when a precondition fails;
// execution continues in every build.
#ifndef NDEBUG
#define SERIALPORT_ASSERT(cond)                                                                            \
  do {                                                                                                     \
    if (!(cond)) platform::DebugTrace(std::string("serialport.cpp(") + std::to_string(__LINE__) + \
                                      "): assertion failed: " #cond "\n");                                 \
  } while (0)
#else
#define SERIALPORT_ASSERT(cond) \
  do {                          \
  } while (0)
#endif

}  // namespace

SerialPort::SerialPort() {
  for (auto& h : m_hPort) h = platform::kInvalidHandle;
}

SerialPort::~SerialPort() {
  for (int n = 0; n < kSlots; ++n) ClosePort(n);
}

void SerialPort::ShowError(const std::string& text, const std::string& caption) {
  if (m_sink) m_sink(text, caption);
}

int SerialPort::OpenPort(int n) {
  m_strLastOpenError.clear();
  if (!HasSlot(n)) {
    m_strLastOpenError = "no such port";
    return 0;
  }
  ClosePort(n);
  m_hPort[n] = m_calls.OpenComPort(n);
  if (m_hPort[n] != platform::kInvalidHandle) return 1;
  m_strLastOpenError = platform::LastErrorText();
  return 0;
}

int SerialPort::IsOpen(int n) const { return HasSlot(n) && m_hPort[n] != platform::kInvalidHandle ? 1 : 0; }

int SerialPort::ConfigurePort(int n, std::uint32_t dwBaudRate, std::uint8_t byByteSize, int nParityCheck,
                              std::uint8_t byParity, std::uint8_t byStopBits, std::uint8_t chXon,
                              std::uint8_t chXoff) {
  if (!HasSlot(n)) return 0;
  m_dcb = platform::CommState{};
  if (!m_calls.GetCommState(m_hPort[n], m_dcb)) {
    ShowError("GetCommState Error", "Error");
    ClosePort(n);
    return 0;
  }
  m_dcb.BaudRate = dwBaudRate;
  m_dcb.ByteSize = byByteSize;
  m_dcb.Parity = byParity;
  m_dcb.StopBits = byStopBits;
  m_dcb.fBinary = true;
  m_dcb.fParity = (nParityCheck & 1) != 0;
  m_dcb.fOutxCtsFlow = false;
  m_dcb.fOutxDsrFlow = false;
  m_dcb.fDsrSensitivity = false;
  m_dcb.fDtrControl = 1;  // enable: DTR held on
  m_dcb.fRtsControl = 1;  // enable: RTS held on
  m_dcb.fNull = false;
  m_dcb.fAbortOnError = true;
  if (chXon != chXoff) {
    m_dcb.XonChar = static_cast<char>(chXon);
    m_dcb.XoffChar = static_cast<char>(chXoff);
    m_dcb.fOutX = true;
    m_dcb.fInX = true;
  } else {
    // Equal XON and XOFF characters cannot drive software flow control
    // (Windows refuses them, and a driver would pause on every NUL). Keep
    // the port's own characters and leave that flow control off: the
    // device sees the same bytes, and the settings are taken.
    m_dcb.fOutX = false;
    m_dcb.fInX = false;
  }
  if (!m_calls.SetCommState(m_hPort[n], m_dcb)) {
    ShowError("SetCommState Error", "Error");
    return 0;
  }
  return 1;
}

int SerialPort::SetTimeouts(int n, std::uint32_t dwReadInterval, std::uint32_t dwReadMultiplier,
                            std::uint32_t dwReadConstant, std::uint32_t dwWriteMultiplier,
                            std::uint32_t dwWriteConstant) {
  if (!IsOpen(n)) return 0;
  // The current values are read only to be overwritten: all five are set
  // below. A port whose time-outs cannot be read still gets them, since a
  // port left with zero time-outs would wait for ever on a silent device.
  if (!m_calls.GetCommTimeouts(m_hPort[n], m_timeouts)) m_timeouts = platform::CommTimeouts{};
  m_timeouts.ReadIntervalTimeout = dwReadInterval;
  m_timeouts.ReadTotalTimeoutMultiplier = dwReadMultiplier;
  m_timeouts.ReadTotalTimeoutConstant = dwReadConstant;
  m_timeouts.WriteTotalTimeoutMultiplier = dwWriteMultiplier;
  m_timeouts.WriteTotalTimeoutConstant = dwWriteConstant;
  if (m_calls.SetCommTimeouts(m_hPort[n], m_timeouts)) return 1;
  ShowError("StCommTimeouts function failed", "Com Port Error");
  ClosePort(n);
  return 0;
}

int SerialPort::WriteByte(int n, std::uint8_t byData) {
  m_dwBytesWritten = 0;
  if (!HasSlot(n)) return 0;
  return m_calls.WriteFile(m_hPort[n], &byData, 1, &m_dwBytesWritten) ? 1 : 0;
}

int SerialPort::WriteString(int n, const std::string& str) {
  m_dwBytesWritten = 0;
  if (!HasSlot(n)) return 0;
  if (str.empty()) return 1;
  const auto dwLength = static_cast<std::uint32_t>(str.size());
  return m_calls.WriteFile(m_hPort[n], str.data(), dwLength, &m_dwBytesWritten) ? 1 : 0;
}

int SerialPort::ReadByte(int n, char* pch) {
  *pch = 0;
  if (!HasSlot(n)) return 0;
  std::uint32_t dwBytesTransferred = 0;
  char rx = 0;
  if (m_calls.ReadFile(m_hPort[n], &rx, 1, &dwBytesTransferred) && dwBytesTransferred == 1) {
    *pch = rx;
    return 1;
  }
  return 0;
}

void SerialPort::Purge(int n, std::uint32_t dwFlags) {
  if (!HasSlot(n)) return;
  SERIALPORT_ASSERT(IsOpen(n));
  if (!m_calls.PurgeComm(m_hPort[n], dwFlags)) {
    platform::DebugTrace("serialport.cpp(" + std::to_string(__LINE__) + "): Failed in call to PurgeComm\n");
  }
}

void SerialPort::PurgeReceive(int n) { Purge(n, platform::kPurgeRxClear); }

void SerialPort::ClosePort(int n) {
  if (IsOpen(n)) {
    m_calls.CloseHandle(m_hPort[n]);
    m_hPort[n] = platform::kInvalidHandle;
  }
}
