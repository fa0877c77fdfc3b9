// The serial-port manager and the device link on a real line: a pseudo-
// terminal natively, the same pseudo-terminal through Wine's COM port
// mapping in the Windows build (so the real Win32 calls are exercised).
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "link/serialport.h"
#include "platform/serial.h"
#include "tests/link/DialogOnWire.h"
#include "tests/link/WirePort.h"

namespace {

// The window's interface value of an entry of its list.
int InterfaceOf(const char* pszName) { return InterfaceOfAddress(ParseLinkAddress(pszName)); }

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point t0) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count();
}

struct Box {
  std::string text, caption;
};

// A manager whose error boxes are recorded.
struct RecordingPort {
  RecordingPort() {
    sp.SetMessageSink([this](const std::string& t, const std::string& c) { boxes.push_back({t, c}); });
  }
  SerialPort sp;
  std::vector<Box> boxes;
};

void UpdateSettings(SerialPort& sp, int n) {
  ASSERT_EQ(1, sp.SetTimeouts(n, 200, 200, 500, 100, 1000));
  ASSERT_EQ(1, sp.ConfigurePort(n, 19200, 8, 0, 0, 0, 0, 0));
}

char Echo(SerialPort& sp, int n, char ch) {
  sp.WriteByte(n, 'E');
  sp.WriteByte(n, static_cast<std::uint8_t>(ch));
  char rx = 0;
  sp.ReadByte(n, &rx);
  return rx;
}

}  // namespace

TEST(SerialWire, ConfiguredPortCarriesBytesBothWaysAndReopensFresh) {
  WirePort wire;
  SKIP_WITHOUT_PEER(wire);
  RecordingPort rp;
  ASSERT_EQ(1, rp.sp.OpenPort(wire.com));
  EXPECT_EQ(1, rp.sp.IsOpen(wire.com));
  UpdateSettings(rp.sp, wire.com);
  EXPECT_EQ('q', Echo(rp.sp, wire.com, 'q'));
  // Bytes the software flow control of other settings would swallow pass
  // unchanged: XON, XOFF, NUL-adjacent and high bytes.
  EXPECT_EQ('\x11', Echo(rp.sp, wire.com, '\x11'));
  EXPECT_EQ('\x13', Echo(rp.sp, wire.com, '\x13'));
  EXPECT_EQ('\xFF', Echo(rp.sp, wire.com, '\xFF'));

  // Opening an open slot again closes the old handle first (the port is
  // exclusive, so the new open succeeds only then) and works as before.
  ASSERT_EQ(1, rp.sp.OpenPort(wire.com));
  UpdateSettings(rp.sp, wire.com);
  EXPECT_EQ('r', Echo(rp.sp, wire.com, 'r'));
  EXPECT_TRUE(rp.boxes.empty());
  rp.sp.ClosePort(wire.com);
  EXPECT_EQ(0, rp.sp.IsOpen(wire.com));
}

TEST(SerialWire, SilentDeviceTimesOutWithNulAndWritesStillSucceed) {
  WirePort wire;
  SKIP_WITHOUT_PEER(wire);
  SerialPort sp;
  ASSERT_EQ(1, sp.OpenPort(wire.com));
  UpdateSettings(sp, wire.com);
  char ch = 'x';
  auto t0 = Clock::now();
  EXPECT_EQ(0, sp.ReadByte(wire.com, &ch));
  long long ms = MsSince(t0);
  EXPECT_EQ('\0', ch);
  // 200 ms per byte plus 500 ms: about 700 ms; loose bounds only.
  EXPECT_GE(ms, 450);
  EXPECT_LT(ms, 5000);
  EXPECT_EQ(1, sp.WriteByte(wire.com, 'z'));  // taken in silently by the peer
}

TEST(SerialWire, PurgeDiscardsPendingInputOnly) {
  WirePort wire;
  SKIP_WITHOUT_PEER(wire);
  SerialPort sp;
  ASSERT_EQ(1, sp.OpenPort(wire.com));
  ASSERT_EQ(1, sp.SetTimeouts(wire.com, 0, 0, 100, 100, 1000));
  ASSERT_EQ(1, sp.ConfigurePort(wire.com, 19200, 8, 0, 0, 0, 0, 0));
  sp.WriteByte(wire.com, 'P');  // the peer answers "XYZ"
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  sp.PurgeReceive(wire.com);
  char ch = 'x';
  EXPECT_EQ(0, sp.ReadByte(wire.com, &ch));
  EXPECT_EQ('\0', ch);
  EXPECT_EQ('k', Echo(sp, wire.com, 'k'));  // the port still works
}

TEST(SerialWire, ClosedSlotFailsQuietlyAndClosingTwiceIsHarmless) {
  WirePort wire;
  SKIP_WITHOUT_PEER(wire);
  RecordingPort rp;
  char ch = 'x';
  EXPECT_EQ(0, rp.sp.WriteByte(wire.com, 'E'));
  EXPECT_EQ(0, rp.sp.ReadByte(wire.com, &ch));
  EXPECT_EQ('\0', ch);
  rp.sp.PurgeReceive(wire.com);  // traces only
  rp.sp.ClosePort(wire.com);
  rp.sp.ClosePort(wire.com);
  // Time-outs of a closed port: refused without a message.
  EXPECT_EQ(0, rp.sp.SetTimeouts(wire.com, 200, 200, 500, 100, 1000));
  EXPECT_TRUE(rp.boxes.empty());
  // Its device control record cannot be read: the manager says so.
  EXPECT_EQ(0, rp.sp.ConfigurePort(wire.com, 19200, 8, 0, 0, 0, 0, 0));
  ASSERT_EQ(1u, rp.boxes.size());
  EXPECT_EQ("GetCommState Error", rp.boxes[0].text);
  EXPECT_EQ("Error", rp.boxes[0].caption);
  EXPECT_EQ(0, rp.sp.IsOpen(wire.com));
  // Slot 0 belongs to no device and is never open.
  EXPECT_EQ(0, rp.sp.IsOpen(0));
  EXPECT_EQ(0, rp.sp.ReadByte(0, &ch));
  // The port itself is unharmed.
  ASSERT_EQ(1, rp.sp.OpenPort(wire.com));
  UpdateSettings(rp.sp, wire.com);
  EXPECT_EQ('w', Echo(rp.sp, wire.com, 'w'));
}

TEST(SerialWire, RefusedSettingsKeepThePortOpen) {
  WirePort wire;
  SKIP_WITHOUT_PEER(wire);
  RecordingPort rp;
  ASSERT_EQ(1, rp.sp.OpenPort(wire.com));
  UpdateSettings(rp.sp, wire.com);
  // Nine data bits exist on no UART.
  EXPECT_EQ(0, rp.sp.ConfigurePort(wire.com, 19200, 9, 0, 0, 0, 0, 0));
  ASSERT_EQ(1u, rp.boxes.size());
  EXPECT_EQ("SetCommState Error", rp.boxes[0].text);
  EXPECT_EQ("Error", rp.boxes[0].caption);
  EXPECT_EQ(1, rp.sp.IsOpen(wire.com));
  EXPECT_EQ('v', Echo(rp.sp, wire.com, 'v'));
}

// The port's settings as a fresh open finds them.
void ReadFreshState(int com, platform::CommState& state) {
  platform::SerialHandle h = platform::OpenComPort(com);
  ASSERT_NE(platform::kInvalidHandle, h);
  ASSERT_TRUE(platform::GetCommState(h, state));
  platform::CloseHandle(h);
}

#ifdef _WIN32
// Windows keeps a COM port's settings after it is closed: a fresh open
// shows what the last configuration left.
TEST(SerialWire, EqualXonXoffTurnsSoftwareFlowControlOffAndKeepsThePortsCharacters) {
  WirePort wire;
  SKIP_WITHOUT_PEER(wire);
  auto readState = [&](platform::CommState& state) { ReadFreshState(wire.com, state); };
  platform::CommState before;
  readState(before);
  if (HasFatalFailure()) return;
  ASSERT_NE(before.XonChar, before.XoffChar);

  SerialPort sp;
  ASSERT_EQ(1, sp.OpenPort(wire.com));
  // Distinct characters: software flow control on with them.
  ASSERT_EQ(1, sp.ConfigurePort(wire.com, 9600, 8, 0, 0, 0, 0x11, 0x13));
  sp.ClosePort(wire.com);
  platform::CommState on;
  readState(on);
  if (HasFatalFailure()) return;
  EXPECT_TRUE(on.fOutX);
  EXPECT_TRUE(on.fInX);
  EXPECT_EQ(0x11, on.XonChar);
  EXPECT_EQ(0x13, on.XoffChar);
  EXPECT_EQ(9600u, on.BaudRate);

  // The update's call (both NUL): accepted, flow control off, characters kept.
  ASSERT_EQ(1, sp.OpenPort(wire.com));
  EXPECT_EQ(1, sp.ConfigurePort(wire.com, 19200, 8, 0, 0, 0, 0, 0));
  sp.ClosePort(wire.com);
  platform::CommState after;
  readState(after);
  if (HasFatalFailure()) return;
  EXPECT_FALSE(after.fOutX);
  EXPECT_FALSE(after.fInX);
  EXPECT_EQ(0x11, after.XonChar);
  EXPECT_EQ(0x13, after.XoffChar);
  EXPECT_EQ(19200u, after.BaudRate);
  EXPECT_EQ(8, after.ByteSize);
  EXPECT_EQ(0, after.Parity);
  EXPECT_EQ(0, after.StopBits);
}
#else
// On Linux closing a port puts back the settings its open found.
TEST(SerialWire, ConfiguringWithAndWithoutXonXoffLeavesThePortAsFoundAfterClose) {
  WirePort wire;
  SKIP_WITHOUT_PEER(wire);
  auto readState = [&](platform::CommState& state) { ReadFreshState(wire.com, state); };
  platform::CommState before;
  readState(before);
  if (HasFatalFailure()) return;
  ASSERT_NE(before.XonChar, before.XoffChar);

  // Distinct characters (software flow control on with them), then the
  // update's call (both NUL: flow control off, characters kept): both are
  // accepted, and each close puts back what the open found.
  SerialPort sp;
  for (std::uint8_t xon : {std::uint8_t{0x11}, std::uint8_t{0}}) {
    ASSERT_EQ(1, sp.OpenPort(wire.com));
    EXPECT_EQ(1, sp.ConfigurePort(wire.com, xon ? 9600 : 19200, 8, 0, 0, 0, xon, xon ? 0x13 : 0));
    sp.ClosePort(wire.com);
    platform::CommState after;
    readState(after);
    if (HasFatalFailure()) return;
    EXPECT_EQ(before.fOutX, after.fOutX);
    EXPECT_EQ(before.fInX, after.fInX);
    EXPECT_EQ(before.XonChar, after.XonChar);
    EXPECT_EQ(before.XoffChar, after.XoffChar);
    EXPECT_EQ(before.BaudRate, after.BaudRate);
    EXPECT_EQ(before.ByteSize, after.ByteSize);
    EXPECT_EQ(before.Parity, after.Parity);
  }
}
#endif

// ---- the device link and the identification check ---------------------------

TEST(DeviceLink, ReceiveStringEndsAtTheFirstGapOrNulAndConsumesWhatFollows) {
  DialogOnWire d;
  SKIP_WITHOUT_PEER(d.wire);
  ASSERT_TRUE(d.OpenPort());
  const int n = d.wire.com;
  // "AB", a pause longer than one read time-out, "CD".
  d.dlg->SendString("G");
  auto t0 = Clock::now();
  EXPECT_EQ("AB", d.dlg->ReceiveString(4));
  EXPECT_LT(MsSince(t0), 5000);
  char ch = 0;
  EXPECT_EQ(1, d.dlg->m_serial.ReadByte(n, &ch));
  EXPECT_EQ('D', ch);  // 'C' was read by the fourth read, past the gap

  // A NUL byte ends the string as a time-out does; the rest is consumed.
  d.dlg->SendString("N");
  EXPECT_EQ("Q", d.dlg->ReceiveString(3));
  d.dlg->m_serial.SetTimeouts(n, 0, 0, 100, 100, 1000);
  EXPECT_EQ(0, d.dlg->m_serial.ReadByte(n, &ch));

  // Never more than 49 characters, whatever is asked; the rest stays.
  d.dlg->SendString("L");
  std::string str = d.dlg->ReceiveString(100);
  EXPECT_EQ(std::string(49, 'x'), str);
  EXPECT_EQ(1, d.dlg->m_serial.ReadByte(n, &ch));
  EXPECT_EQ('x', ch);
  d.dlg->m_serial.PurgeReceive(n);
  EXPECT_EQ("", d.dlg->ReceiveString(0));
  EXPECT_EQ("", d.dlg->ReceiveString(-3));

  // Sent exactly as given: nothing appended.
  d.dlg->SendString("Eu");
  EXPECT_EQ("u", d.dlg->ReceiveString(1));
#ifndef _WIN32
  std::string strBefore = d.wire.peer->Received();
  d.dlg->SendString("");
  EXPECT_EQ(strBefore, d.wire.peer->Received());
#endif
}

TEST(DeviceLink, UsbReachesNoDeviceAndTouchesNoSlot) {
  DialogOnWire d;
  SKIP_WITHOUT_PEER(d.wire);
  ASSERT_TRUE(d.OpenPort());
  d.dlg->m_nInterface = InterfaceOf("USB");
  EXPECT_EQ(0, d.dlg->SendByte('E'));
  d.dlg->SendString("Ey");
  auto t0 = Clock::now();
  EXPECT_EQ("", d.dlg->ReceiveString(5));
  EXPECT_LT(MsSince(t0), 300);
  // The COM port stays open and received nothing.
  d.dlg->m_nInterface = d.wire.com;
  EXPECT_EQ(1, d.dlg->m_serial.IsOpen(d.wire.com));
  d.dlg->SendString("Ej");
  EXPECT_EQ("j", d.dlg->ReceiveString(1));
#ifndef _WIN32
  EXPECT_EQ("Ej", d.wire.peer->Received());
#endif
  // A value without a slot is refused the same way.
  d.dlg->m_nInterface = 45;
  EXPECT_EQ(0, d.dlg->SendByte('E'));
  EXPECT_EQ("", d.dlg->ReceiveString(5));
}

TEST(DeviceLink, CloseReleasesTheSelectedComPortOnly) {
  {
    DialogOnWire d;
    SKIP_WITHOUT_PEER(d.wire);
    ASSERT_TRUE(d.OpenPort());
    d.fe.Close(*d.dlg);
    EXPECT_EQ(0, d.dlg->m_serial.IsOpen(d.wire.com));
    EXPECT_TRUE(d.dlg->IsEnded());
    EXPECT_EQ(IDCANCEL, d.dlg->Result());
    // Released for real: another manager can have it now.
    SerialPort other;
    EXPECT_EQ(1, other.OpenPort(d.wire.com));
  }
  for (int nInterface : {InterfaceOf("USB"), InterfaceOf("GPIB")}) {
    DialogOnWire d;
    ASSERT_TRUE(d.OpenPort());
    d.dlg->m_nInterface = nInterface;
    d.fe.Close(*d.dlg);
    EXPECT_EQ(1, d.dlg->m_serial.IsOpen(d.wire.com)) << nInterface;
    EXPECT_TRUE(d.dlg->IsEnded());
  }
  {
    // A COM port selected but never opened: nothing to close, the window ends.
    DialogOnWire d;
    d.dlg->m_nInterface = d.wire.com;
    d.fe.Close(*d.dlg);
    EXPECT_TRUE(d.dlg->IsEnded());
  }
}

TEST(DeviceLink, SerialManagerMessagesAreOwnerlessErrorBoxes) {
  DialogOnWire d;
  SKIP_WITHOUT_PEER(d.wire);
  const int n = d.wire.com;
  EXPECT_EQ(0, d.dlg->m_serial.ConfigurePort(n, 19200, 8, 0, 0, 0, 0, 0));
  ASSERT_TRUE(d.OpenPort());
  EXPECT_EQ(0, d.dlg->m_serial.ConfigurePort(n, 19200, 9, 0, 0, 0, 0, 0));
  ASSERT_EQ(2u, d.fe.m_boxes.size());
  EXPECT_EQ("GetCommState Error", d.fe.m_boxes[0].text);
  EXPECT_EQ("SetCommState Error", d.fe.m_boxes[1].text);
  for (const auto& box : d.fe.m_boxes) {
    EXPECT_EQ("Error", box.caption);
    EXPECT_EQ(fw::MsgIcon::Error, box.icon);
    EXPECT_FALSE(box.owned);
  }
}

TEST(IdentificationCheck, ReportsTheExpectedDeviceOnlyAndListsEveryReply) {
  DialogOnWire d;
  SKIP_WITHOUT_PEER(d.wire);
  // Short read time-outs, as most replies are shorter than the 35 characters
  // read and each missing one waits out its time-out. The first character
  // waits as long too, while the peer takes the query and answers: 200 ms
  // holds on a busy machine, where peer, test program (and under Wine the
  // wineserver) may each wait tens of milliseconds for a core.
  ASSERT_TRUE(d.OpenPort(200, 0));
  struct Case {
    std::string strIdn;
    bool bExpected;
  };
  const Case cases[] = {
      {"Talvo Instruments - QRT1230", true},
      {"Talvo Instruments - QRT1230 V2.04,SN 4711", true},  // more than 35: cut at 35
      {"TALVO INSTRUMENTS - QRT1230", false},
      {"Talvo Instruments - QRT1220", false},
      {"Talvo Instruments - QRT123", false},
      {"", false},  // silent device
  };
  size_t nLines = d.ListCount();
  for (const Case& c : cases) {
    d.dlg->SendString("#" + c.strIdn + "\n");
    size_t nBoxes = d.fe.m_boxes.size();
    d.fe.Click(*d.dlg, IDC_CHECK);
    ASSERT_EQ(nLines + 1, d.ListCount()) << c.strIdn;
    ++nLines;
    EXPECT_EQ(c.strIdn.substr(0, 35), d.ListLine(0));
    ASSERT_EQ(nBoxes + 1, d.fe.m_boxes.size());
    const auto& box = d.fe.m_boxes.back();
    EXPECT_EQ(c.bExpected ? "Connected devide identified correctly!" : "Unknown device!", box.text) << c.strIdn;
    EXPECT_EQ(fw::MsgIcon::Warning, box.icon);
    EXPECT_EQ(fw::g_strAppName, box.caption);
    d.dlg->m_serial.PurgeReceive(d.wire.com);
  }
#ifndef _WIN32
  // The query went out as five characters, nothing appended.
  std::string strSent = d.wire.peer->Received();
  EXPECT_NE(std::string::npos, strSent.find("\n*idn?#"));
  EXPECT_EQ("*idn?", strSent.substr(strSent.size() - 5));
#endif
}

TEST(IdentificationCheck, WithNoPortOpenTheReplyIsEmpty) {
  DialogOnWire d;
  d.dlg->m_nInterface = 3;
  auto t0 = Clock::now();
  d.fe.Click(*d.dlg, IDC_CHECK);
  EXPECT_LT(MsSince(t0), 2000);
  ASSERT_EQ(1u, d.ListCount());
  EXPECT_EQ("", d.ListLine(0));
  ASSERT_EQ(1u, d.fe.m_boxes.size());
  EXPECT_EQ("Unknown device!", d.fe.m_boxes[0].text);
}

// Run last under Wine (its own peer): the far end goes away mid-reply.
TEST(SerialHangUp, VanishingPeerGivesAShortReplyWithoutHanging) {
  DialogOnWire d;
  SKIP_WITHOUT_PEER(d.wire);
  ASSERT_TRUE(d.OpenPort());
  d.dlg->SendString("H");  // "OK", then the line is gone
  auto t0 = Clock::now();
  // At worst every read waits out its time-out (Wine does); never longer.
  EXPECT_EQ("OK", d.dlg->ReceiveString(10));
  EXPECT_LT(MsSince(t0), 20000);
  t0 = Clock::now();
  // The whole string's write call fails, and the caller is told.
  EXPECT_EQ(0, d.dlg->SendString("E?"));
  EXPECT_EQ("", d.dlg->ReceiveString(5));
  EXPECT_LT(MsSince(t0), 20000);
  d.fe.Close(*d.dlg);
  EXPECT_EQ(0, d.dlg->m_serial.IsOpen(d.wire.com));
}
