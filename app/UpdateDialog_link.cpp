// Device link over COM or GPIB, the close handler and the identification check.
#include <cstring>

#include "app/UpdateDialog.h"
#include "link/GpibLibrary.h"
#include "link/IdentificationCheck.h"

namespace {

// The receive buffer: a reply holds at most 49 characters and its NUL.
constexpr int kReceiveBuffer = 50;

// Only COM port numbers that have a slot in the serial-port manager.
bool IsSerialSlot(int nInterface) { return nInterface >= 0 && nInterface < SerialPort::kSlots; }

}  // namespace

int UpdateDialog::SendString(const std::string& str) {
  // A COM port takes the whole string in one write call: a USB-serial
  // adapter makes one USB transfer per call, and one call per character
  // would hold the line to about one character per 1 ms USB frame. GPIB
  // keeps one ibwrt per character.
  if (m_nInterface != kInterfaceGpib) {
    if (!IsSerialSlot(m_nInterface)) return 0;
    return m_serial.WriteString(m_nInterface, str);
  }
  int nOk = 1;
  for (char ch : str) nOk &= SendByte(ch);
  return nOk;
}

int UpdateDialog::SendByte(char ch) {
  if (m_nInterface == kInterfaceGpib) {
    return (gpib::ibwrt(m_nGpibDevice, &ch, 1) & gpib::kErr) ? 0 : 1;
  }
  // USB (and anything else without a slot) reaches no device.
  if (!IsSerialSlot(m_nInterface)) return 0;
  return m_serial.WriteByte(m_nInterface, static_cast<std::uint8_t>(ch));
}

std::string UpdateDialog::ReceiveString(int n) {
  // Callers ask for 1 to 49 characters; anything else is clamped so that
  // the buffer can never be overrun.
  if (n < 0) n = 0;
  if (n > kReceiveBuffer - 1) n = kReceiveBuffer - 1;
  char buffer[kReceiveBuffer];
  std::memset(buffer, 0, sizeof buffer);

  if (m_nInterface == kInterfaceGpib) {
    gpib::ibrd(m_nGpibDevice, buffer, n);
    // The count of a missing library holds an OS error code and that of a
    // misbehaving one may be anything: only 0 to n bytes are taken.
    std::int32_t nCount = gpib::ibcntl;
    if (nCount < 0) nCount = 0;
    if (nCount > n) nCount = n;
    buffer[nCount] = '\0';
  } else if (IsSerialSlot(m_nInterface)) {
    // Every read is made, so that the reply is consumed from the port even
    // when a character timed out; the string ends at the first gap.
    for (int i = 0; i < n; ++i) m_serial.ReadByte(m_nInterface, &buffer[i]);
    buffer[n] = '\0';
  }
  std::string strRec = buffer;
  return strRec;
}

void UpdateDialog::OnClose() {
  if (IsSerialSlot(m_nInterface)) m_serial.ClosePort(m_nInterface);
  EndDialog(IDCANCEL);
}

void UpdateDialog::OnCheck() {
  SendString(kIdnQuery);
  std::string strRec = ReceiveString(kIdnReplyLength);
  m_list.InsertString(0, strRec);
  MessageBox(IsExpectedIdentification(strRec) ? "Connected devide identified correctly!" : "Unknown device!");
  UpdateData(false);
}

void UpdateDialog::ConnectSerialMessages() {
  // The manager's boxes have no owner window, their own caption and the
  // error icon.
  m_serial.SetMessageSink([](const std::string& text, const std::string& caption) {
    if (fw::HasFrontEnd()) fw::GetFrontEnd().MessageBox(nullptr, text, caption, fw::MsgIcon::Error);
  });
}
