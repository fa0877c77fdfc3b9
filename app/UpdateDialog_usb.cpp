// The USB probe: the hidden "FILE" button beside the FRONT field.
#include "app/UpdateDialog.h"
#include "link/usbprobe.h"

void UpdateDialog::OnUsbProbe() {
  UsbProbe probe;
  probe.Run();
}
