// Link addresses: the texts each kind claims, the names it gives back, the
// window's interface list built from them, and the link the factory makes
// for each kind (a COM port over the test peer's real line).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/DeviceLink.h"
#include "link/LinkAddress.h"
#include "link/serialport.h"
#include "tests/link/WirePort.h"

TEST(LinkAddress, EveryKindParsesAndNamesItselfBack) {
  for (int n = kComFirst; n <= kComLast; ++n) {
    const std::string strName = "COM" + std::to_string(n);
    const LinkAddress address = ParseLinkAddress(strName);
    EXPECT_EQ(address, (LinkAddress{LinkKind::Com, n, ""})) << strName;
    EXPECT_EQ(LinkAddressName(address), strName);
    EXPECT_EQ(ComNumberOf(address), n);
  }
  EXPECT_EQ(ParseLinkAddress("USB"), (LinkAddress{LinkKind::Usb, 0, ""}));
  EXPECT_EQ(ParseLinkAddress("GPIB"), (LinkAddress{LinkKind::Gpib, 0, ""}));
  for (const char* psz : {"USB", "GPIB"}) {
    EXPECT_EQ(LinkAddressName(ParseLinkAddress(psz)), psz);
    EXPECT_EQ(ComNumberOf(ParseLinkAddress(psz)), 0) << psz;
  }
}

TEST(LinkAddress, OtherTextsAreNoAddress) {
  // Exactly the spellings the program has always taken: upper case, COM
  // numbers 1..29 without leading zeros, nothing around them.
  for (const char* psz : {"", "COM", "COM0", "COM03", "COM30", "COM100", "COM123", "com3", "Com3", " COM3", "COM3 ",
                          "COM3,COM4", "COM+3", "COM-1", "COMX", "COM3X", "usb", "gpib", "USB1", "GPIB0", "LPT1",
                          "/dev/ttyUSB0", "\\\\.\\COM3"}) {
    const LinkAddress address = ParseLinkAddress(psz);
    EXPECT_FALSE(address.IsValid()) << '"' << psz << '"';
    EXPECT_EQ(InterfaceOfAddress(address), 0) << '"' << psz << '"';
  }
  // Values no text gives are not named either.
  for (const LinkAddress& address : {LinkAddress{}, LinkAddress{LinkKind::Com, 0, ""},
                                     LinkAddress{LinkKind::Com, 30, ""}, LinkAddress{LinkKind::Com, -3, ""},
                                     LinkAddress{LinkKind::Gpib, 2, ""}}) {
    EXPECT_EQ(LinkAddressName(address), "");
    EXPECT_EQ(ComNumberOf(address), 0);
    EXPECT_EQ(InterfaceOfAddress(address), 0);
  }
}

TEST(LinkAddress, TheInterfaceListIsTheWindowsListInOrder) {
  std::vector<std::string> expected;
  for (int n = 1; n <= 29; ++n) expected.push_back("COM" + std::to_string(n));
  expected.push_back("USB");
  expected.push_back("GPIB");
  const std::vector<std::string> names = InterfaceListNames();
  ASSERT_EQ(names, expected);
  // The window keeps the list's index plus one; each value is its entry's
  // address, and back.
  for (std::size_t i = 0; i < names.size(); ++i) {
    const int nInterface = static_cast<int>(i) + 1;
    EXPECT_EQ(InterfaceAddress(nInterface), ParseLinkAddress(names[i])) << names[i];
    EXPECT_EQ(InterfaceOfAddress(ParseLinkAddress(names[i])), nInterface) << names[i];
  }
  // COM n keeps the value n, which every saved choice and test relies on.
  EXPECT_EQ(InterfaceAddress(7), ParseLinkAddress("COM7"));
  for (int nInterface : {-1, 0, 32, 45}) EXPECT_FALSE(InterfaceAddress(nInterface).IsValid()) << nInterface;
}

TEST(LinkAddress, TheFactoryMakesTheLinkOfTheAddressKind) {
  SerialPort serial;
  std::int32_t nGpibDevice = 0;
  const LinkResources res{serial, nGpibDevice};
  // USB, and anything that is no address, reach no device.
  for (const LinkAddress& address : {ParseLinkAddress("USB"), ParseLinkAddress("COM30"), LinkAddress{},
                                     LinkAddress{LinkKind::Com, 30, ""}}) {
    auto pLink = MakeDeviceLink(address, res);
    ASSERT_TRUE(pLink);
    LinkSettings settings;
    settings.address = address;
    EXPECT_EQ(pLink->Open(settings), 0);
    EXPECT_EQ(pLink->LastError(), "no device link on this interface");
    EXPECT_EQ(pLink->SendByte('E'), 0);
    EXPECT_EQ(pLink->SendString("Ey"), 0);
    EXPECT_EQ(pLink->ReceiveString(5), "");
    EXPECT_EQ(serial.IsOpen(30), 0);
  }
  // GPIB: a link that does not refuse its open (the device then does not
  // answer), whatever library there is.
  {
    auto pLink = MakeDeviceLink(ParseLinkAddress("GPIB"), res);
    LinkSettings settings;
    settings.address = ParseLinkAddress("GPIB");
    EXPECT_EQ(pLink->Open(settings), 1);
    EXPECT_NE(pLink->LastError(), "no device link on this interface");
  }
  // COM n: that port, on a real line.
  WirePort wire;
  SKIP_WITHOUT_PEER(wire);
  const LinkAddress com = ParseLinkAddress("COM" + std::to_string(wire.com));
  auto pLink = MakeDeviceLink(com, res);
  LinkSettings settings;
  settings.address = com;
  ASSERT_EQ(pLink->Open(settings), 1) << pLink->LastError();
  EXPECT_EQ(serial.IsOpen(wire.com), 1);
  EXPECT_EQ(pLink->SendString("Ey"), 1);
  EXPECT_EQ(pLink->ReceiveString(1), "y");
  pLink->Close();
  EXPECT_EQ(serial.IsOpen(wire.com), 0);
}
