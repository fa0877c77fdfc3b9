// The USB probe.
#include "app/UpdateDialog.h"

void UpdateDialog::OnUsbProbe() {}
