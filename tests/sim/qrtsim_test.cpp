// qrtsim as the updater meets it: a real pseudo-terminal, opened, closed and
// reopened; the report and dumps it leaves; how it ends.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/sim/SimPc.h"

namespace {

namespace fs = std::filesystem;

// A qrtsim process with its stdout read for the slave's path.
class SimProcess {
 public:
  explicit SimProcess(const std::vector<std::string>& args) {
    int fds[2];
    if (pipe(fds) != 0) return;
    m_pid = fork();
    if (m_pid == 0) {
      dup2(fds[1], 1);
      close(fds[0]);
      close(fds[1]);
      std::vector<char*> argv;
      argv.push_back(const_cast<char*>(QRTSIM_EXE));
      for (const std::string& str : args) argv.push_back(const_cast<char*>(str.c_str()));
      argv.push_back(nullptr);
      execv(QRTSIM_EXE, argv.data());
      _exit(127);
    }
    close(fds[1]);
    m_fdOut = fds[0];
    // The first line is the slave's path.
    char c;
    while (ReadWithin(m_fdOut, &c, 1, 5000) == 1 && c != '\n') m_strSlave += c;
  }
  ~SimProcess() {
    if (m_pid > 0) {
      kill(m_pid, SIGKILL);
      waitpid(m_pid, nullptr, 0);
    }
    if (m_fdOut >= 0) close(m_fdOut);
  }

  // Waits (at most 10 s) for the process to end; its exit status, or -1.
  int Wait() {
    for (int i = 0; i < 1000 && m_pid > 0; ++i) {
      int nStatus = 0;
      if (waitpid(m_pid, &nStatus, WNOHANG) == m_pid) {
        m_pid = -1;
        return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
      }
      usleep(10000);
    }
    return -1;
  }
  void Signal(int nSignal) {
    if (m_pid > 0) kill(m_pid, nSignal);
  }

  static int ReadWithin(int fd, char* p, int n, int nMs) {
    int nGot = 0;
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(nMs);
    while (nGot < n) {
      int nLeft = static_cast<int>(
          std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count());
      if (nLeft <= 0) break;
      pollfd pfd{fd, POLLIN, 0};
      if (poll(&pfd, 1, nLeft) <= 0) break;
      ssize_t r = read(fd, p + nGot, static_cast<size_t>(n - nGot));
      if (r <= 0) break;
      nGot += static_cast<int>(r);
    }
    return nGot;
  }

  const std::string& Slave() const { return m_strSlave; }

 private:
  pid_t m_pid = -1;
  int m_fdOut = -1;
  std::string m_strSlave;
};

// The PC's end of the line: the slave opened as a serial port.
class Port {
 public:
  explicit Port(const std::string& strPath) {
    m_fd = open(strPath.c_str(), O_RDWR | O_NOCTTY);
    if (m_fd < 0) return;
    termios tio{};
    tcgetattr(m_fd, &tio);
    cfmakeraw(&tio);
    tcsetattr(m_fd, TCSANOW, &tio);
  }
  ~Port() {
    if (m_fd >= 0) close(m_fd);
  }
  bool IsOpen() const { return m_fd >= 0; }
  void Send(const std::string& str) {
    // One character per write, as the updater sends.
    for (char c : str) EXPECT_EQ(1, write(m_fd, &c, 1));
  }
  // Exactly n characters, or what came within the time.
  std::string Receive(int n, int nMs = 3000) {
    std::string str(static_cast<std::size_t>(n), '\0');
    str.resize(static_cast<std::size_t>(SimProcess::ReadWithin(m_fd, str.data(), n, nMs)));
    return str;
  }
  ssize_t Write(const char* p, std::size_t n) { return write(m_fd, p, n); }
  std::string Exchange(const std::string& str, int nReply) {
    Send(str);
    return Receive(nReply);
  }

 private:
  int m_fd = -1;
};

std::string ReadFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

fs::path TestDir(const std::string& strName) {
  fs::path dir = fs::temp_directory_path() / ("qrtsim_test_" + strName + "_" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

// Sends nPages pages of image the updater's way; returns the pages' bytes.
std::string SendPages(Port& port, const std::vector<std::uint8_t>& image, int nPages, bool bChannel) {
  std::string strAnnounce = simtest::Hex(static_cast<unsigned long>(nPages), 4) + "01";
  EXPECT_EQ(strAnnounce, port.Exchange(strAnnounce, 6));
  std::string strBytes;
  for (int p = 0; p < nPages; ++p) {
    std::string strAddress = simtest::Hex(static_cast<unsigned long>(p) * 256, 6);
    EXPECT_EQ(strAddress, port.Exchange(strAddress, 6));
    std::string strData;
    unsigned nSum = 0;
    for (int i = 0; i < 256; ++i) {
      std::uint8_t b = image[static_cast<std::size_t>(p * 256 + i)];
      strData += simtest::Hex(b, 2);
      strBytes += static_cast<char>(b);
      nSum += b;
    }
    EXPECT_EQ("A1", port.Exchange(strData, 2));
    EXPECT_EQ("A2", port.Exchange(simtest::Hex(nSum, 4), 2));
  }
  if (bChannel) {
    EXPECT_EQ("C", port.Receive(1));
  }
  return strBytes;
}

}  // namespace

TEST(Qrtsim, UpdateOverThePtyWithReopenReportAndDumps) {
  fs::path dir = TestDir("update");
  fs::path link = dir / "com3";
  SimProcess sim({"--family", "14x0", "--channels", "2", "--link", link.string(), "--report",
                  (dir / "report.json").string(), "--dump-dir", (dir / "dumps").string(), "--exit-after-fwue",
                  "--max-seconds", "60", "--baud", "115200"});
  ASSERT_FALSE(sim.Slave().empty());
  EXPECT_EQ(fs::path(sim.Slave()), fs::read_symlink(link));
  std::vector<std::uint8_t> image = simtest::TestImage(128000, 9);
  std::string strMain, strCh2;
  {
    Port port(link.string());
    ASSERT_TRUE(port.IsOpen());
    // Noise on the line before the update starts.
    port.Send("xyz\x01" "FW");
    EXPECT_EQ("Talvo Instruments - QRT1230,0,V2.04", port.Exchange("*idn?", 35));
    EXPECT_EQ("QRT144002030000", port.Exchange("FWU0", 15));
    strMain = SendPages(port, image, 3, false);
  }
  {
    // The updater closes and reopens its port.
    Port port(sim.Slave());
    ASSERT_TRUE(port.IsOpen());
    port.Send("FWU3");
    port.Send("FWU");
    EXPECT_EQ("", port.Receive(1, 300)) << "channel 3 is missing: silence";
    port.Send("FWU2");
    EXPECT_EQ("QRT1230CH01050000", port.Exchange("FWU", 17));
    strCh2 = SendPages(port, image, 2, true);
    port.Send("FWUE");
    EXPECT_EQ(0, sim.Wait());
  }
  EXPECT_FALSE(fs::exists(fs::symlink_status(link))) << "the link goes with the simulator";
  std::string strJson = ReadFile(dir / "report.json");
  EXPECT_NE(std::string::npos,
            strJson.find("\"commands\": [\"garbage 6\", \"*idn?\", \"FWU0\", \"pages main 3\", \"FWU3\", \"FWU\", "
                         "\"FWU2\", \"FWU\", \"pages ch2 2\", \"FWUE\"]"))
      << strJson;
  EXPECT_EQ(strMain, ReadFile(dir / "dumps" / "main.bin"));
  EXPECT_EQ(strCh2, ReadFile(dir / "dumps" / "ch2.bin"));
  fs::remove_all(dir);
}

TEST(Qrtsim, FaultsOnTheLineAndReportOnSigterm) {
  fs::path dir = TestDir("fault");
  SimProcess sim({"--fault", "main:e2@2", "--fault=ch1:noa1@1", "--report", (dir / "r.json").string(),
                  "--max-seconds", "60"});
  ASSERT_FALSE(sim.Slave().empty());
  std::vector<std::uint8_t> image = simtest::TestImage(128000, 10);
  {
    Port port(sim.Slave());
    ASSERT_TRUE(port.IsOpen());
    EXPECT_EQ("QRT144002030000", port.Exchange("FWU0", 15));
    EXPECT_EQ("015E01", port.Exchange("015E01", 6));
    for (int p = 0; p < 2; ++p) {
      std::string strAddress = simtest::Hex(static_cast<unsigned long>(p) * 256, 6);
      EXPECT_EQ(strAddress, port.Exchange(strAddress, 6));
      EXPECT_EQ("A1", port.Exchange(std::string(512, '0'), 2));
      EXPECT_EQ(p == 1 ? "E2" : "A2", port.Exchange("0000", 2));
    }
    port.Send("FWU1");
    EXPECT_EQ("QRT1230CH01050000", port.Exchange("FWU", 17));
    EXPECT_EQ("000101", port.Exchange("000101", 6));
    EXPECT_EQ("000000", port.Exchange("000000", 6));
    EXPECT_EQ("E1C", port.Exchange(std::string(512, '0'), 3));
  }
  sim.Signal(SIGTERM);
  EXPECT_EQ(0, sim.Wait());
  std::string strJson = ReadFile(dir / "r.json");
  EXPECT_NE(std::string::npos,
            strJson.find("\"commands\": [\"FWU0\", \"pages main 2\", \"FWU1\", \"FWU\", \"pages ch1 1\"]"))
      << strJson;
  EXPECT_NE(std::string::npos, strJson.find("\"fwue\": 0"));
  fs::remove_all(dir);
}

TEST(Qrtsim, RefusesBadOptions) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--fault", "main:nonsense"}, {"--channels", "9"}, {"--link"}, {"stray"}}) {
    SimProcess sim(args);
    EXPECT_TRUE(sim.Slave().empty());
    EXPECT_EQ(2, sim.Wait()) << args[0];
  }
  fs::path dir = TestDir("badlink");
  {
    SimProcess sim({"--link", (dir / "no" / "such" / "dir" / "com1").string()});
    EXPECT_EQ(1, sim.Wait());
  }
  // --link replaces a stale link, but never a file or a folder of that name.
  std::ofstream(dir / "notes.txt") << "keep me";
  fs::create_directory(dir / "folder");
  for (const char* pszName : {"notes.txt", "folder"}) {
    SimProcess sim({"--link", (dir / pszName).string()});
    EXPECT_TRUE(sim.Slave().empty()) << pszName;
    EXPECT_EQ(1, sim.Wait()) << pszName;
  }
  EXPECT_EQ("keep me", ReadFile(dir / "notes.txt"));
  EXPECT_TRUE(fs::is_directory(dir / "folder"));
  fs::create_symlink("/dev/null", dir / "stale");
  {
    SimProcess sim({"--link", (dir / "stale").string(), "--max-seconds", "1"});
    ASSERT_FALSE(sim.Slave().empty());
    EXPECT_EQ(fs::path(sim.Slave()), fs::read_symlink(dir / "stale"));
    // Replaced by someone else meanwhile: not removed at exit.
    fs::remove(dir / "stale");
    std::ofstream(dir / "stale") << "new";
    EXPECT_EQ(0, sim.Wait());
  }
  EXPECT_EQ("new", ReadFile(dir / "stale"));
  fs::remove_all(dir);
}

TEST(Qrtsim, HangUpAfterAnExchangeFailsLaterWrites) {
  SimProcess sim({"--channels", "1", "--fault", "ch1:hangup", "--max-seconds", "60"});
  ASSERT_FALSE(sim.Slave().empty());
  std::vector<std::uint8_t> image = simtest::TestImage(128000, 11);
  Port port(sim.Slave());
  ASSERT_TRUE(port.IsOpen());
  port.Send("FWU1");
  EXPECT_EQ("QRT1230CH01050000", port.Exchange("FWU", 17));
  // Every reply of the exchange, the closing character included, arrives
  // before the line goes.
  SendPages(port, image, 2, true);
  EXPECT_EQ(0, sim.Wait());
  char c = 'F';
  errno = 0;
  EXPECT_EQ(-1, port.Write(&c, 1));
  EXPECT_EQ(EIO, errno);
}

// --tty: qrtsim on the device's end of an existing line (inside the kernel
// guest, a USB gadget's serial port). Here the line is a pty pair of the
// test's own: qrtsim serves the slave, the test plays the PC on the master.
// The slave is set raw (no echo, no newline mapping, or every reply would
// be garbled), and when the PC's end goes away qrtsim ends at once, with
// its record written.
TEST(Qrtsim, ServesAnExistingTerminalAndEndsWhenItsLineGoes) {
  fs::path dir = TestDir("tty");
  int fdPc = -1, fdDevice = -1;
  char szSlave[256] = {0};
  ASSERT_EQ(0, openpty(&fdPc, &fdDevice, szSlave, nullptr, nullptr));
  fcntl(fdPc, F_SETFD, FD_CLOEXEC);  // qrtsim must not hold the PC's end too
  termios tio{};
  ASSERT_EQ(0, tcgetattr(fdDevice, &tio));
  ASSERT_NE(0u, tio.c_lflag & ECHO) << "a fresh pty echoes; qrtsim must turn that off";
  close(fdDevice);
  {
    SimProcess sim({"--tty", szSlave, "--report", (dir / "r.json").string(), "--max-seconds", "60"});
    EXPECT_EQ(szSlave, sim.Slave());
    auto exchange = [&](const std::string& str, int nReply) {
      EXPECT_EQ(static_cast<ssize_t>(str.size()), write(fdPc, str.data(), str.size()));
      std::string strReply(static_cast<std::size_t>(nReply), '\0');
      strReply.resize(static_cast<std::size_t>(SimProcess::ReadWithin(fdPc, strReply.data(), nReply, 3000)));
      return strReply;
    };
    EXPECT_EQ("QRT144002030000", exchange("FWU0", 15));
    EXPECT_EQ("000101", exchange("000101", 6));
    EXPECT_EQ("000000", exchange("000000", 6));
    EXPECT_EQ("A1", exchange(std::string(512, '0'), 2));
    EXPECT_EQ("A2", exchange("0000", 2));
    EXPECT_EQ("", exchange("\r\n", 1)) << "no echo, nothing mapped";
    close(fdPc);  // the PC's end goes: the device's line hangs up
    EXPECT_EQ(0, sim.Wait()) << "qrtsim must end when its line goes, not wait for --max-seconds";
  }
  EXPECT_NE(std::string::npos, ReadFile(dir / "r.json").find("\"pages main 1\""));
  // Not a terminal, or not there: no path printed, status 1; an empty path
  // is a usage error.
  std::ofstream(dir / "plain") << "x";
  for (const fs::path& path : {dir / "plain", dir / "missing"}) {
    SimProcess sim({"--tty", path.string()});
    EXPECT_TRUE(sim.Slave().empty()) << path;
    EXPECT_EQ(1, sim.Wait()) << path;
  }
  SimProcess sim({"--tty", ""});
  EXPECT_EQ(2, sim.Wait());
  fs::remove_all(dir);
}
