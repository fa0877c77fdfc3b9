// What only the POSIX emulation of the serial calls has to get right: the
// device names, exclusive access, the termios settings behind the device
// control record, and the Win32 time-out rules.
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>

#include "link/serialport.h"
#include "platform/serial.h"
#include "tests/link/PtyPeer.h"

namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point t0) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count();
}

// A peer on COM n for the length of a test.
struct PeerOnCom {
  explicit PeerOnCom(int n) : com(n) {
    peer.Start();
    setenv(Var().c_str(), peer.SlavePath().c_str(), 1);
  }
  ~PeerOnCom() { unsetenv(Var().c_str()); }
  std::string Var() const { return "QRTUPDATE_COM" + std::to_string(com); }
  termios Settings() const {
    termios tio{};
    tcgetattr(peer.Master(), &tio);
    return tio;
  }
  int com;
  PtyPeer peer;
};

}  // namespace

TEST(SerialPosix, ComPortNamesTheEnvironmentsDeviceElseOneByNumber) {
  unsetenv("QRTUPDATE_COM28");
  SerialPort sp;
  // Without the variable COM28 is /dev/ttyACM8, which this machine lacks.
  if (access("/dev/ttyACM8", F_OK) != 0) {
    EXPECT_EQ(0, sp.OpenPort(28));
  }
  setenv("QRTUPDATE_COM28", "/nonexistent/tty", 1);
  EXPECT_EQ(0, sp.OpenPort(28));
  // Something that is not a terminal is no COM port.
  setenv("QRTUPDATE_COM28", "/dev/null", 1);
  EXPECT_EQ(0, sp.OpenPort(28));
  unsetenv("QRTUPDATE_COM28");
  EXPECT_EQ(platform::kInvalidHandle, platform::OpenComPort(0));
  EXPECT_FALSE(platform::CloseHandle(platform::kInvalidHandle));
  // A descriptor that this layer did not open is not a port to it.
  EXPECT_FALSE(platform::CloseHandle(STDERR_FILENO));
  EXPECT_NE(-1, fcntl(STDERR_FILENO, F_GETFD));
}

TEST(SerialPosix, ASecondOpenerIsRefusedUntilThePortIsClosed) {
  PeerOnCom p(11);
  SerialPort a, b;
  ASSERT_EQ(1, a.OpenPort(11));
  EXPECT_EQ(0, b.OpenPort(11));
  // Another program asking for the lock is refused as well.
  int fd = open(p.peer.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd >= 0) {
    EXPECT_NE(0, flock(fd, LOCK_EX | LOCK_NB));
    close(fd);
  }
  a.WriteByte(11, 'E');
  a.WriteByte(11, 'a');
  ASSERT_EQ(1, a.SetTimeouts(11, 200, 200, 500, 100, 1000));
  char ch = 0;
  EXPECT_EQ(1, a.ReadByte(11, &ch));
  EXPECT_EQ('a', ch);
  a.ClosePort(11);
  EXPECT_EQ(1, b.OpenPort(11));
}

TEST(SerialPosix, DeviceControlRecordReachesTermios) {
  PeerOnCom p(12);
  termios tio = p.Settings();
  tio.c_iflag |= IXANY;
  tcsetattr(p.peer.Master(), TCSANOW, &tio);

  SerialPort sp;
  ASSERT_EQ(1, sp.OpenPort(12));
  tio = p.Settings();
  EXPECT_FALSE(tio.c_lflag & (ECHO | ICANON | ISIG));  // raw from the start
  EXPECT_FALSE(tio.c_oflag & OPOST);
  EXPECT_FALSE(tio.c_iflag & ICRNL);

  // 9600 baud, 7 data bits, parity checked, even, two stop bits, XON/XOFF.
  ASSERT_EQ(1, sp.ConfigurePort(12, 9600, 7, 1, 2, 2, 0x11, 0x13));
  tio = p.Settings();
  EXPECT_EQ(B9600, cfgetospeed(&tio));
  // (A pseudo-terminal forces 8 data bits without parity; PARODD is kept.)
  EXPECT_FALSE(tio.c_cflag & PARODD);
  EXPECT_TRUE(tio.c_cflag & CSTOPB);
  EXPECT_TRUE(tio.c_iflag & INPCK);
  EXPECT_TRUE(tio.c_iflag & IXON);
  EXPECT_TRUE(tio.c_iflag & IXOFF);
  EXPECT_FALSE(tio.c_iflag & IXANY);
  EXPECT_EQ(0x11, tio.c_cc[VSTART]);
  EXPECT_EQ(0x13, tio.c_cc[VSTOP]);

  // Odd parity, one stop bit.
  ASSERT_EQ(1, sp.ConfigurePort(12, 9600, 8, 0, 1, 0, 0x11, 0x13));
  tio = p.Settings();
  EXPECT_TRUE(tio.c_cflag & PARODD);
  EXPECT_FALSE(tio.c_cflag & CSTOPB);
  EXPECT_FALSE(tio.c_iflag & INPCK);

  // The update's settings: 19200 8N1 and, XON and XOFF both NUL, no
  // software flow control at all; the port keeps its own characters.
  tio.c_iflag |= IXANY;
  tcsetattr(p.peer.Master(), TCSANOW, &tio);
  ASSERT_EQ(1, sp.ConfigurePort(12, 19200, 8, 0, 0, 0, 0, 0));
  tio = p.Settings();
  EXPECT_EQ(B19200, cfgetospeed(&tio));
  EXPECT_EQ(static_cast<tcflag_t>(CS8), tio.c_cflag & CSIZE);
  EXPECT_FALSE(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS));
  EXPECT_FALSE(tio.c_iflag & (IXON | IXOFF | IXANY));
  EXPECT_EQ(0x11, tio.c_cc[VSTART]);
  EXPECT_EQ(0x13, tio.c_cc[VSTOP]);

  // A speed the line cannot take leaves everything as it was.
  EXPECT_EQ(0, sp.ConfigurePort(12, 12345, 8, 0, 0, 0, 0, 0));
  tio = p.Settings();
  EXPECT_EQ(B19200, cfgetospeed(&tio));
  EXPECT_EQ(1, sp.IsOpen(12));
}

// Closing puts back what the open found: speed, format, modes and control
// characters, whether the port was closed by the program or by the
// manager's destructor, and the last bytes written still reach the peer.
TEST(SerialPosix, ClosingRestoresTheSettingsTheOpenFound) {
  PeerOnCom p(14);
  termios found = p.Settings();
  cfsetispeed(&found, B9600);
  cfsetospeed(&found, B9600);
  found.c_lflag |= ECHO | ICANON | ISIG;
  found.c_oflag |= OPOST;
  found.c_iflag |= ICRNL | IXANY;
  found.c_cc[VSTART] = 0x01;
  ASSERT_EQ(0, tcsetattr(p.peer.Master(), TCSANOW, &found));
  found = p.Settings();
  auto same = [&](const char* what) {
    termios now = p.Settings();
    EXPECT_EQ(cfgetospeed(&found), cfgetospeed(&now)) << what;
    EXPECT_EQ(found.c_iflag, now.c_iflag) << what;
    EXPECT_EQ(found.c_oflag, now.c_oflag) << what;
    EXPECT_EQ(found.c_cflag, now.c_cflag) << what;
    EXPECT_EQ(found.c_lflag, now.c_lflag) << what;
    EXPECT_EQ(0, std::memcmp(found.c_cc, now.c_cc, sizeof found.c_cc)) << what;
  };
  {
    SerialPort sp;
    ASSERT_EQ(1, sp.OpenPort(14));
    ASSERT_EQ(1, sp.ConfigurePort(14, 19200, 8, 0, 0, 0, 0, 0));
    termios during = p.Settings();
    EXPECT_EQ(B19200, cfgetospeed(&during));
    EXPECT_FALSE(during.c_lflag & ICANON);
    EXPECT_EQ(1, sp.WriteByte(14, 'Z'));
    sp.ClosePort(14);
    same("after ClosePort");
    std::string strGot;
    for (int i = 0; i < 200 && strGot.find('Z') == std::string::npos; ++i) {
      strGot = p.peer.Received();
      usleep(10000);
    }
    EXPECT_NE(std::string::npos, strGot.find('Z')) << "the byte written before the close";

    // Opened again and left open: the destructor closes it.
    ASSERT_EQ(1, sp.OpenPort(14));
    ASSERT_EQ(1, sp.ConfigurePort(14, 19200, 8, 0, 0, 0, 0, 0));
    // Opening an open port closes it first; the new open finds the old settings.
    ASSERT_EQ(1, sp.OpenPort(14));
  }
  same("after the destructor");
}

TEST(SerialPosix, WriteTimeOutSucceedsWithNothingSent) {
  PeerOnCom p(13);
  SerialPort sp;
  ASSERT_EQ(1, sp.OpenPort(13));
  ASSERT_EQ(1, sp.SetTimeouts(13, 200, 200, 500, 100, 1000));
  p.peer.SetReading(false);  // the line is held up until the buffers fill
  long long msBlocked = 0;
  int nResult = -1;
  for (int i = 0; i < 1000000 && msBlocked < 500; ++i) {
    auto t0 = Clock::now();
    nResult = sp.WriteByte(13, 'z');
    msBlocked = MsSince(t0);
    ASSERT_EQ(1, nResult);
  }
  EXPECT_GE(msBlocked, 500);    // 100 ms per byte plus 1000 ms
  EXPECT_LT(msBlocked, 5000);
  EXPECT_EQ(1, nResult);
  sp.PurgeReceive(13);
}

TEST(SerialPosix, LowLatencyIsSkippedQuietlyOnAPty) {
  PeerOnCom p(19);
  setenv("QRTUPDATE_TRACE", "1", 1);
  testing::internal::CaptureStderr();
  platform::SerialHandle h = platform::OpenComPort(19);
  ASSERT_NE(platform::kInvalidHandle, h);
  // A pseudo-terminal has no such setting: the port opens and works all the same.
  serial_struct ss{};
  EXPECT_NE(0, ioctl(static_cast<int>(h), TIOCGSERIAL, &ss));
  std::uint32_t n = 0;
  ASSERT_TRUE(platform::WriteFile(h, "P", 1, &n));
  platform::CommTimeouts t{200, 200, 500, 100, 1000};
  ASSERT_TRUE(platform::SetCommTimeouts(h, t));
  char buf[4] = {0};
  EXPECT_TRUE(platform::ReadFile(h, buf, 3, &n));
  EXPECT_EQ("XYZ", std::string(buf, n));
  EXPECT_TRUE(platform::CloseHandle(h));
  EXPECT_EQ("", testing::internal::GetCapturedStderr());
  unsetenv("QRTUPDATE_TRACE");
}

TEST(SerialPosix, ReadTimeOutsFollowTheWin32Rules) {
  PeerOnCom p(14);
  platform::SerialHandle h = platform::OpenComPort(14);
  ASSERT_NE(platform::kInvalidHandle, h);
  char buf[8] = {};
  std::uint32_t n = 99;

  // Interval MAXDWORD, the rest 0: return at once with what is there.
  platform::CommTimeouts t{0xFFFFFFFFu, 0, 0, 0, 0};
  ASSERT_TRUE(platform::SetCommTimeouts(h, t));
  auto t0 = Clock::now();
  EXPECT_TRUE(platform::ReadFile(h, buf, 3, &n));
  EXPECT_EQ(0u, n);
  EXPECT_LT(MsSince(t0), 300);

  // Interval limit between bytes: one byte comes, then the line is quiet.
  t = {100, 0, 3000, 0, 0};
  ASSERT_TRUE(platform::SetCommTimeouts(h, t));
  ASSERT_TRUE(platform::WriteFile(h, "Ee", 2, &n));
  t0 = Clock::now();
  EXPECT_TRUE(platform::ReadFile(h, buf, 3, &n));
  EXPECT_EQ(1u, n);
  EXPECT_EQ('e', buf[0]);
  EXPECT_LT(MsSince(t0), 2500);  // well before the 3 s total

  // Total limit: multiplier per byte plus constant.
  t = {0, 100, 200, 0, 0};
  ASSERT_TRUE(platform::SetCommTimeouts(h, t));
  t0 = Clock::now();
  EXPECT_TRUE(platform::ReadFile(h, buf, 2, &n));
  EXPECT_EQ(0u, n);
  EXPECT_GE(MsSince(t0), 300);

  // Wait for the first byte only, at most the constant.
  t = {0xFFFFFFFFu, 0xFFFFFFFFu, 300, 0, 0};
  ASSERT_TRUE(platform::SetCommTimeouts(h, t));
  ASSERT_TRUE(platform::WriteFile(h, "Ef", 2, &n));
  EXPECT_TRUE(platform::ReadFile(h, buf, 4, &n));
  EXPECT_EQ(1u, n);
  EXPECT_EQ('f', buf[0]);

  platform::CommTimeouts back;
  ASSERT_TRUE(platform::GetCommTimeouts(h, back));
  EXPECT_EQ(300u, back.ReadTotalTimeoutConstant);
  EXPECT_FALSE(platform::PurgeComm(h, 0x100));  // unknown flag bits
  EXPECT_TRUE(platform::PurgeComm(h, platform::kPurgeRxClear | platform::kPurgeTxClear));
  EXPECT_TRUE(platform::CloseHandle(h));
  EXPECT_FALSE(platform::CloseHandle(h));
  EXPECT_FALSE(platform::ReadFile(h, buf, 1, &n));
}

TEST(SerialPosix, DestructorClosesEveryOpenPort) {
  PeerOnCom p1(15), p2(16), p3(17);
  {
    SerialPort sp;
    ASSERT_EQ(1, sp.OpenPort(15));
    ASSERT_EQ(1, sp.OpenPort(16));
    ASSERT_EQ(1, sp.OpenPort(17));
    sp.ClosePort(16);  // closed before: not closed twice
  }
  SerialPort again;
  EXPECT_EQ(1, again.OpenPort(15));
  EXPECT_EQ(1, again.OpenPort(16));
  EXPECT_EQ(1, again.OpenPort(17));
}

TEST(SerialPosix, FailedPurgeIsTracedOnly) {
  setenv("QRTUPDATE_TRACE", "1", 1);
  SerialPort sp;
  testing::internal::CaptureStderr();
  sp.PurgeReceive(5);
  std::string strTrace = testing::internal::GetCapturedStderr();
  unsetenv("QRTUPDATE_TRACE");
  EXPECT_NE(std::string::npos, strTrace.find("serialport"));
  EXPECT_NE(std::string::npos, strTrace.find("Failed in call to PurgeComm\n"));
}

TEST(SerialPosix, VanishingPeerFailsReadsAndWritesAtOnce) {
  PeerOnCom p(18);
  SerialPort sp;
  ASSERT_EQ(1, sp.OpenPort(18));
  ASSERT_EQ(1, sp.SetTimeouts(18, 0, 0, 0, 0, 0));  // no time-outs: wait for ever
  p.peer.Stop();
  p.peer.HangUp();
  char ch = 'x';
  auto t0 = Clock::now();
  EXPECT_EQ(0, sp.ReadByte(18, &ch));
  EXPECT_EQ('\0', ch);
  EXPECT_EQ(0, sp.WriteByte(18, 'z'));
  EXPECT_LT(MsSince(t0), 3000);
  sp.PurgeReceive(18);
  sp.ClosePort(18);
}
