// The update command and the two transfers.
#include "app/UpdateDialog.h"

void UpdateDialog::OnUpdateFirmware() {}
void UpdateDialog::FlashMainController() {}
void UpdateDialog::FlashChannelController(int) {}
