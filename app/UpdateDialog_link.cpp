// Device link over COM or GPIB, the close handler and the identification check.
#include "app/UpdateDialog.h"

void UpdateDialog::SendString(const std::string& str) {
  for (char ch : str) SendByte(ch);
}
int UpdateDialog::SendByte(char) { return 0; }
std::string UpdateDialog::ReceiveString(int) { return {}; }
void UpdateDialog::OnClose() { EndDialog(IDCANCEL); }
void UpdateDialog::OnCheck() {}
void UpdateDialog::ConnectSerialMessages() {}
