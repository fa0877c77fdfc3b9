// Device link over COM or GPIB, the close handler and the identification check.
#include "app/UpdateDialog.h"
#include "link/IdentificationCheck.h"

LinkAddress UpdateDialog::ChosenAddress() const { return InterfaceAddress(m_nInterface); }

DeviceLink& UpdateDialog::Link() {
  const LinkAddress address = ChosenAddress();
  if (!m_pLink || m_linkAddress != address) {
    m_pLink = m_linkFactory(address, LinkResources{m_serial, m_nGpibDevice});
    m_linkAddress = address;
  }
  return *m_pLink;
}

int UpdateDialog::SendString(const std::string& str) { return Link().SendString(str); }

int UpdateDialog::SendByte(char ch) { return Link().SendByte(ch); }

std::string UpdateDialog::ReceiveString(int n) { return Link().ReceiveString(n); }

void UpdateDialog::OnClose() {
  Link().Release();
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
