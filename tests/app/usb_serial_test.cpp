// Choosing a port by its USB adapter's serial number, over a listing the
// test supplies: the matching every system's listing goes through (on
// Windows the only way to give it adapters it does not have).
#include <gtest/gtest.h>

#include "platform/ports.h"

namespace {

platform::ComPortEntry Port(int n, const std::string& strSerial) {
  platform::ComPortEntry port(n, "//./COM" + std::to_string(n), "USB Serial Port (COM" + std::to_string(n) + ")");
  port.strSerial = strSerial;
  return port;
}

}  // namespace

TEST(UsbSerial, ExactlyOneAdapterIsFoundWhateverTheCase) {
  const std::vector<platform::ComPortEntry> ports = {Port(1, ""), Port(3, "A50285BI"), Port(7, "FT9XQ2")};
  platform::ComPortEntry found;
  std::string strReason;
  ASSERT_EQ(1, platform::FindUsbSerialPort(ports, "ft9xq2", &found, &strReason));
  EXPECT_EQ(found.n, 7);
  EXPECT_EQ(found.strPath, "//./COM7");
  EXPECT_EQ(strReason, "");
}

TEST(UsbSerial, NoneOrTwoAreRefusedNamingTheSerialNumbersThere) {
  std::vector<platform::ComPortEntry> ports = {Port(1, ""), Port(3, "A50285BI"), Port(7, "FT9XQ2")};
  platform::ComPortEntry found;
  std::string strReason;
  EXPECT_EQ(0, platform::FindUsbSerialPort(ports, "A5028", &found, &strReason));  // no prefix match
  EXPECT_EQ(strReason, "no USB adapter with serial number A5028 is plugged in; serial numbers here: "
                       "A50285BI (COM3), FT9XQ2 (COM7)");
  ports.push_back(Port(12, "a50285bi"));
  EXPECT_EQ(0, platform::FindUsbSerialPort(ports, "A50285BI", &found, &strReason));
  EXPECT_EQ(strReason, "2 USB adapters report serial number A50285BI: choose the port by its path instead; "
                       "serial numbers here: A50285BI (COM3), FT9XQ2 (COM7), a50285bi (COM12)");
  EXPECT_EQ(0, platform::FindUsbSerialPort({Port(1, "")}, "X", &found, &strReason));
  EXPECT_EQ(strReason, "no USB adapter with serial number X is plugged in; no adapter here reports a serial number");
  EXPECT_EQ(0, platform::FindUsbSerialPort(ports, "", &found, &strReason));
  EXPECT_EQ(strReason.rfind("usb: needs the adapter's serial number (usb:SERIAL)", 0), 0u);
}
