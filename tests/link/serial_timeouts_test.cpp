// A port whose time-outs cannot be read (some adapters' drivers refuse the
// request) still gets every time-out the update sets, so a silent device
// never makes a read wait for ever. The failing read is the one injected
// fault (the manager's GetCommTimeouts entry, which also watches what
// SetCommTimeouts is given); the port is a real pseudo-terminal with the
// test peer on its far end.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "link/serialport.h"
#include "platform/serial.h"
#include "tests/link/WirePort.h"

namespace {
bool g_bFailGetTimeouts = false;
bool g_bFailSetTimeouts = false;
std::vector<platform::CommTimeouts> g_set;  // every record written to a port

// The platform's calls, but for the two faults above.
SerialCalls FaultyTimeoutCalls() {
  SerialCalls calls;
  calls.GetCommTimeouts = [](platform::SerialHandle h, platform::CommTimeouts& t) {
    return !g_bFailGetTimeouts && platform::GetCommTimeouts(h, t);
  };
  calls.SetCommTimeouts = [](platform::SerialHandle h, const platform::CommTimeouts& t) {
    g_set.push_back(t);
    return !g_bFailSetTimeouts && platform::SetCommTimeouts(h, t);
  };
  return calls;
}
}  // namespace

namespace {
// Milliseconds one read of the port takes.
long long TimedRead(SerialPort& sp, int nCom, char* pCh) {
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(0, sp.ReadByte(nCom, pCh));
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
}
}  // namespace

// A port opened on a pty with the test peer behind it; the manager's boxes
// are collected.
class SerialTimeouts : public ::testing::Test {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_PEER(wire);
    sp.SetMessageSink([this](const std::string& text, const std::string&) { boxes.push_back(text); });
    sp.SetCalls(FaultyTimeoutCalls());
    ASSERT_EQ(1, sp.OpenPort(wire.com));
  }
  WirePort wire;
  SerialPort sp;
  std::vector<std::string> boxes;
};

TEST_F(SerialTimeouts, UnreadableTimeoutsAreSetAllTheSame) {
  g_set.clear();
  g_bFailGetTimeouts = true;
  EXPECT_EQ(1, sp.SetTimeouts(wire.com, 200, 200, 500, 100, 1000));
  EXPECT_EQ(1, sp.ConfigurePort(wire.com, 19200, 8, 0, 0, 0, 0, 0));
  g_bFailGetTimeouts = false;
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(1, sp.IsOpen(wire.com));

  // All five values went to the port.
  ASSERT_EQ(1u, g_set.size());
  EXPECT_EQ(200u, g_set[0].ReadIntervalTimeout);
  EXPECT_EQ(200u, g_set[0].ReadTotalTimeoutMultiplier);
  EXPECT_EQ(500u, g_set[0].ReadTotalTimeoutConstant);
  EXPECT_EQ(100u, g_set[0].WriteTotalTimeoutMultiplier);
  EXPECT_EQ(1000u, g_set[0].WriteTotalTimeoutConstant);

  // A silent device: the read gives up after about 700 ms.
  char ch = 'x';
  const long long ms = TimedRead(sp, wire.com, &ch);
  EXPECT_EQ('\0', ch);
  EXPECT_GE(ms, 450);
  EXPECT_LT(ms, 5000);
}

TEST_F(SerialTimeouts, PortWhoseTimeoutsCannotBeSetIsClosedNotLeftWaiting) {
  g_bFailGetTimeouts = true;
  g_bFailSetTimeouts = true;
  EXPECT_EQ(0, sp.SetTimeouts(wire.com, 200, 200, 500, 100, 1000));
  g_bFailGetTimeouts = false;
  g_bFailSetTimeouts = false;
  EXPECT_EQ(std::vector<std::string>{"StCommTimeouts function failed"}, boxes);
  EXPECT_EQ(0, sp.IsOpen(wire.com));
  // Reads on the closed slot fail at once.
  // No hang: the slot is closed, so nothing waits on a port.
  char ch = 'x';
  EXPECT_LT(TimedRead(sp, wire.com, &ch), 5000);
}
