// A long string written into a full output queue on a real pseudo-terminal:
// the port is non-blocking, so the system takes a string in pieces as the
// far end makes room, and every piece must follow the one before. A page
// string counted as sent after its first piece would lose the rest silently.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "link/serialport.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kCom = 26;

// Reads the master side slowly, a little at a time, until nWant bytes have
// come or nothing more came for a long while after the writer finished.
std::string DrainSlowly(int fdMaster, std::size_t nWant, const std::atomic<bool>& bWriterDone) {
  std::string strGot;
  auto quietSince = Clock::now();
  while (strGot.size() < nWant) {
    pollfd pfd{fdMaster, POLLIN, 0};
    if (poll(&pfd, 1, 20) > 0) {
      char buf[512];
      const ssize_t k = read(fdMaster, buf, sizeof buf);
      if (k > 0) {
        strGot.append(buf, static_cast<std::size_t>(k));
        quietSince = Clock::now();
        // Room comes back in small steps, as from a slow line.
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        continue;
      }
    }
    // Bytes still on their way arrive within moments; ten quiet seconds
    // after the write returned mean they were never written.
    if (!bWriterDone) quietSince = Clock::now();
    if (Clock::now() - quietSince > std::chrono::seconds(10)) break;
  }
  return strGot;
}

}  // namespace

TEST(SerialPosix, LongStringIntoAFullQueueArrivesWholeAndInOrder) {
  int fdMaster = -1, fdSlave = -1;
  char szName[256] = {};
  ASSERT_EQ(0, openpty(&fdMaster, &fdSlave, szName, nullptr, nullptr));
  termios tio{};
  tcgetattr(fdMaster, &tio);
  cfmakeraw(&tio);
  tcsetattr(fdMaster, TCSANOW, &tio);
  setenv(("QRTUPDATE_COM" + std::to_string(kCom)).c_str(), szName, 1);

  SerialPort sp;
  ASSERT_EQ(1, sp.OpenPort(kCom));
  ASSERT_EQ(1, sp.SetTimeouts(kCom, 0, 0, 0, 0, 0));  // writes wait as long as it takes

  // Fill the queue towards the master, which nobody reads yet, through a
  // descriptor of the test's own until the system takes no more.
  fcntl(fdSlave, F_SETFL, fcntl(fdSlave, F_GETFL) | O_NONBLOCK);
  std::string strFiller;
  const std::string strChunk(1024, '.');
  for (int i = 0; i < 4096; ++i) {
    const ssize_t k = write(fdSlave, strChunk.data(), strChunk.size());
    if (k <= 0) break;
    strFiller.append(strChunk, 0, static_cast<std::size_t>(k));
  }
  ASSERT_GT(strFiller.size(), 0u);
  ASSERT_EQ(-1, write(fdSlave, "x", 1)) << "the queue was not full";

  // 64 KiB of page-like text, every 8 characters a different number.
  std::string strLong;
  for (unsigned i = 0; i < 8192; ++i) {
    char sz[16];
    std::snprintf(sz, sizeof sz, "%08X", i * 2654435761u);
    strLong += sz;
  }
  std::atomic<bool> bWriterDone{false};
  std::string strGot;
  std::thread reader([&] { strGot = DrainSlowly(fdMaster, strFiller.size() + strLong.size(), bWriterDone); });
  const int nResult = sp.WriteString(kCom, strLong);
  bWriterDone = true;
  reader.join();

  EXPECT_EQ(1, nResult);
  ASSERT_EQ(strFiller.size() + strLong.size(), strGot.size()) << "bytes were lost";
  EXPECT_EQ(strFiller, strGot.substr(0, strFiller.size()));
  EXPECT_TRUE(strGot.substr(strFiller.size()) == strLong) << "the string arrived out of order";

  sp.ClosePort(kCom);
  unsetenv(("QRTUPDATE_COM" + std::to_string(kCom)).c_str());
  close(fdSlave);
  close(fdMaster);
}
