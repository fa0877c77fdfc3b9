// Containers, HEX import and the container-creation command.
#include "app/UpdateDialog.h"

int UpdateDialog::LoadContainer(const std::string&) { return 0; }
void UpdateDialog::SaveContainer(const std::string&) {}
void UpdateDialog::VerifyContainer(const std::string&) {}
void UpdateDialog::ImportHexFile(const std::string&) {}
void UpdateDialog::OnCreateEncFile() {}
