// The USB probe: sends the one command "volt 5\n" (with its terminating NUL)
// to the maker's USB interface card, which the PC sees as an FTDI device
// described as "TALVO VX512", through the D2XX library bound at run time.
// It is independent of the serial ports, the GPIB link and the update.
#pragma once
#include "platform/ftdi_abi.h"

class UsbProbe {
 public:
  UsbProbe() = default;
  UsbProbe(const UsbProbe&) = delete;
  UsbProbe& operator=(const UsbProbe&) = delete;

  // 1 when the command went to an opened card; 0 when the library or one
  // of its entries is missing, or no card with that description opened.
  // Shows no message: a missing or busy card passes silently.
  int Run();

  platform::FtHandle m_USBHandle = nullptr;
};
