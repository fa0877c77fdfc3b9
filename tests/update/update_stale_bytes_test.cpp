// A power supply that says more than it is asked: after each controller's
// transfer it prints its banner unasked (qrtsim's noise fault), so stale
// bytes wait on the line before every channel's selection and before
// "FWUE". The update must discard them (the link's purge) and still deliver
// every page byte-exact; read as replies they would pass for a wrong device.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/update/SimProcess.h"
#include "tests/update/UpdateFixture.h"
#include "platform/ports.h"
#include "ui/console/lib/Console.h"

namespace {

std::vector<std::uint8_t> FirstPages(const std::string& strContainer, int nPages) {
  std::vector<std::uint8_t> bytes = ContainerBytes(strContainer);
  bytes.resize(static_cast<std::size_t>(nPages) * 256);
  return bytes;
}

}  // namespace

TEST(UpdateOverPty, StaleBytesBeforeEachControllerAreDiscarded) {
  WorkDir dir;
  // The default banner is the identification between CR LFs; one channel's
  // noise looks like the start of a reply the updater waits for.
  SimProcess sim({"--family", "14x0", "--fault", "main:noise,ch1:noise=QRT1230CH01050000,ch2:noise,ch3:noise",
                  "--fault", "ch4:noise=A2A2C"},
                 (dir.Path() / "sim").string());
  ASSERT_TRUE(sim.Started());
  platform::SetComPortPath(3, sim.SlavePath());
  UpdateWindow win("QRT_Update_OP_FWV2.04.exe");
  win.Choose("COM3", 4);
  win.ClickUpdate();
  sim.Stop();

  EXPECT_EQ(win.dlg->m_nError, 0);
  EXPECT_EQ(win.Boxes(), std::vector<std::string>{"i:Firmware successfully updated! Please restart device!"});
  std::vector<std::string> expected = {"FWU0", "pages main 350"};
  for (int c = 1; c <= 4; ++c) {
    expected.insert(expected.end(), {"FWU" + std::to_string(c), "FWU", "pages ch" + std::to_string(c) + " 80"});
  }
  expected.push_back("FWUE");
  EXPECT_EQ(sim.Commands(), expected);
  EXPECT_TRUE(sim.Dump("main") == FirstPages("FW1C.qrt", 350)) << "main controller";
  for (int c = 1; c <= 4; ++c) {
    EXPECT_TRUE(sim.Dump("ch" + std::to_string(c)) == FirstPages("FW2B.qrt", 80)) << "channel " << c;
  }
  // Each controller's identification and version were read from its own reply.
  const std::vector<std::string> list = win.List();
  for (int c = 1; c <= 4; ++c) {
    EXPECT_EQ(1, std::count(list.begin(), list.end(), "Previous firmware CH" + std::to_string(c) + ": 01.050000"))
        << "channel " << c;
  }
  EXPECT_FALSE(win.dlg->m_serial.IsOpen(3));
}
