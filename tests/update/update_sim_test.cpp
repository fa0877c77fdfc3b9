// Whole updates through the update button, over a real pseudo-terminal to
// qrtsim (the simulated power supply), and over GPIB through the stand-in
// library: what the device received, what the user saw, and the codes.
#include <dlfcn.h>
#include <poll.h>
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <ostream>
#include <thread>

#include "platform/ports.h"
#include "tests/update/SimProcess.h"
#include "tests/update/UpdateFixture.h"

namespace {

const char* const kSuccess = "i:Firmware successfully updated! Please restart device!";

// Counts the opens of each file in a folder (the containers' loads).
class OpenCounter {
 public:
  explicit OpenCounter(const std::filesystem::path& dir) {
    m_fd = inotify_init1(IN_NONBLOCK);
    if (m_fd >= 0) inotify_add_watch(m_fd, dir.c_str(), IN_OPEN);
  }
  ~OpenCounter() {
    if (m_fd >= 0) close(m_fd);
  }
  std::map<std::string, int> Counts() {
    alignas(inotify_event) char buffer[16384];
    ssize_t n;
    while ((n = read(m_fd, buffer, sizeof buffer)) > 0) {
      for (char* p = buffer; p < buffer + n;) {
        const auto* ev = reinterpret_cast<const inotify_event*>(p);
        if (ev->len > 0 && !(ev->mask & IN_ISDIR)) ++m_counts[ev->name];
        p += sizeof(inotify_event) + ev->len;
      }
    }
    return m_counts;
  }

 private:
  int m_fd = -1;
  std::map<std::string, int> m_counts;
};

std::vector<std::uint8_t> FirstPages(const std::string& strContainer, int nPages) {
  std::vector<std::uint8_t> bytes = ContainerBytes(strContainer);
  bytes.resize(static_cast<std::size_t>(nPages) * 256);
  return bytes;
}

// The plain value of a member anywhere in a JSON text (a number, or a
// string without its quotes), "" when absent.
std::string JsonValue(const std::string& strJson, const std::string& strKey) {
  const std::string strNeedle = "\"" + strKey + "\": ";
  std::size_t nAt = strJson.find(strNeedle);
  if (nAt == std::string::npos) return "";
  nAt += strNeedle.size();
  if (strJson[nAt] == '"') return strJson.substr(nAt + 1, strJson.find('"', nAt + 1) - nAt - 1);
  return strJson.substr(nAt, strJson.find_first_of(",}\n", nAt) - nAt);
}

// One run: a simulator with the given options, the window under strName
// on COM3 with the given device, one click.
struct SimRun {
  SimRun(const std::string& strName, int nDevice, const std::vector<std::string>& simOptions, bool bWithContainers = true)
      : dir(bWithContainers), sim(simOptions, (dir.Path() / "sim").string()), win(strName) {
    platform::SetComPortPath(3, sim.SlavePath());
    win.Choose("COM3", nDevice);
  }
  void Click() {
    win.ClickUpdate();
    sim.Stop();
    commands = sim.Commands();
  }
  int Count(const std::string& strLine) {
    const std::vector<std::string> list = win.List();
    return static_cast<int>(std::count(list.begin(), list.end(), strLine));
  }

  WorkDir dir;
  SimProcess sim;
  UpdateWindow win;
  std::vector<std::string> commands;
};

struct Row {
  const char* pszName;
  int nSelection;
  const char* pszFamily;
  int nChannels;
  const char* pszMain;
  int nMainPages;
  const char* apszChannel[4];
};

void PrintTo(const Row& row, std::ostream* os) { *os << row.pszName << " selection " << row.nSelection; }

std::string RowName(const ::testing::TestParamInfo<Row>& info) {
  std::string str = std::string(info.param.pszName).substr(11);
  str = str.substr(0, str.find('_')) + "_" + std::to_string(info.param.nSelection);
  return str;
}

class FullUpdate : public ::testing::TestWithParam<Row> {};

}  // namespace

TEST_P(FullUpdate, EveryControllerGetsItsContainerAndFwueComesLast) {
  const Row& row = GetParam();
  SimRun run(row.pszName, row.nSelection, {"--family", row.pszFamily, "--channels", std::to_string(row.nChannels)});
  ASSERT_TRUE(run.sim.Started());
  OpenCounter opens(run.dir.Path());
  run.Click();

  EXPECT_EQ(run.win.dlg->m_nError, 0);
  EXPECT_EQ(run.win.Boxes(), std::vector<std::string>{kSuccess});
  EXPECT_EQ(run.win.fe.m_boxes[0].caption, AppNameOfPath(row.pszName));

  std::vector<std::string> expected = {"FWU0", "pages main " + std::to_string(row.nMainPages)};
  for (int c = 1; c <= row.nChannels; ++c) {
    expected.push_back("FWU" + std::to_string(c));
    expected.push_back("FWU");
    expected.push_back("pages ch" + std::to_string(c) + " 80");
  }
  expected.push_back("FWUE");
  EXPECT_EQ(run.commands, expected);

  EXPECT_TRUE(run.sim.Dump("main") == FirstPages(row.pszMain, row.nMainPages)) << "main controller";
  for (int c = 1; c <= row.nChannels; ++c)
    EXPECT_TRUE(run.sim.Dump("ch" + std::to_string(c)) == FirstPages(row.apszChannel[c - 1], 80)) << "channel " << c;

  // Each container of the row is opened twice: checked once, loaded once.
  std::map<std::string, int> want = {{row.pszMain, 2}};
  for (int c = 0; c < row.nChannels; ++c) want[row.apszChannel[c]] = 2;
  std::map<std::string, int> got = opens.Counts();
  got.erase("sim");
  EXPECT_EQ(got, want);

  // The list, newest first: channel lines above the main controller's.
  const std::vector<std::string> list = run.win.List();
  ASSERT_EQ(list.size(), static_cast<std::size_t>(row.nMainPages + 2 + 82 * row.nChannels));
  EXPECT_EQ(list.back(), "Previous firmware main controller: 02.030000");
  EXPECT_EQ(list[82 * row.nChannels], "Main controller update successful");
  EXPECT_EQ(list[82 * row.nChannels + 1], "Page " + std::to_string(row.nMainPages) + " of " +
                                              std::to_string(row.nMainPages) + " - OK!");
  EXPECT_EQ(list[0], "Channel controller update successful!");
  EXPECT_EQ(list[1], "Page 80 of 80 - OK!");
  EXPECT_EQ(list[81], "Previous firmware CH" + std::to_string(row.nChannels) + ": 01.050000");
  EXPECT_EQ(run.win.w->repaints, row.nMainPages + 1 + 81 * row.nChannels);
  EXPECT_EQ(run.win.Item(IDC_PROGRESS).rangeUpper, 79);
  EXPECT_EQ(run.win.Item(IDC_PROGRESS).position, 79);
  EXPECT_FALSE(run.win.dlg->m_serial.IsOpen(3));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FullUpdate,
    ::testing::Values(
        Row{"QRT_Update_OP_FWV2.04.exe", 1, "12x0", 2, "FW1A.qrt", 300, {"FW2B.qrt", "FW2A.qrt"}},
        Row{"QRT_Update_OP_FWV2.04.exe", 2, "12x0", 3, "FW1A.qrt", 300, {"FW2A.qrt", "FW2A.qrt", "FW2A.qrt"}},
        Row{"QRT_Update_OP_FWV2.04.exe", 3, "14x0", 3, "FW1C.qrt", 350, {"FW2B.qrt", "FW2B.qrt", "FW2B.qrt"}},
        Row{"QRT_Update_OP_FWV2.04.exe", 4, "14x0", 4, "FW1C.qrt", 350, {"FW2B.qrt", "FW2B.qrt", "FW2B.qrt", "FW2B.qrt"}},
        Row{"QRT_Update_TALVO_FWV2.04.exe", 1, "12x0", 2, "FW1A.qrt", 300, {"FW2B.qrt", "FW2A.qrt"}},
        Row{"QRT_Update_TALVO_FWV2.04.exe", 2, "12x0", 3, "FW1A.qrt", 300, {"FW2A.qrt", "FW2A.qrt", "FW2A.qrt"}},
        Row{"QRT_Update_TALVO_FWV2.04.exe", 3, "14x0", 3, "FW1C.qrt", 350, {"FW2B.qrt", "FW2B.qrt", "FW2B.qrt"}},
        Row{"QRT_Update_TALVO_FWV2.04.exe", 4, "14x0", 4, "FW1C.qrt", 350,
            {"FW2B.qrt", "FW2B.qrt", "FW2B.qrt", "FW2B.qrt"}},
        Row{"QRT_Update_MURELL_FWV2.04.exe", 4, "14x0", 4, "FW1E.qrt", 350,
            {"FW2B.qrt", "FW2B.qrt", "FW2B.qrt", "FW2B.qrt"}}),
    RowName);

TEST(UpdateOverPty, WrongOrSilentDeviceStopsAfterTheIdentification) {
  for (const std::vector<std::string>& options : {std::vector<std::string>{"--family", "14x0"},
                                                  std::vector<std::string>{"--family", "12x0", "--fault", "main:silent"}}) {
    // A QRT1230 selected, a 14x0 answering; then a device that says nothing.
    SimRun run("QRT_Update_OP_FWV2.04.exe", 2, options);
    OpenCounter opens(run.dir.Path());
    run.Click();
    EXPECT_EQ(run.win.dlg->m_nError, 6);
    EXPECT_EQ(run.win.Boxes(), std::vector<std::string>{"Wrong or no device detected! - Process abort"});
    EXPECT_EQ(run.commands, (std::vector<std::string>{"FWU0", "pages main 0"}));
    EXPECT_TRUE(run.win.List().empty());
    // Only the main container was loaded; the channel one only checked.
    std::map<std::string, int> got = opens.Counts();
    EXPECT_EQ(got["FW1A.qrt"], 2);
    EXPECT_EQ(got["FW2A.qrt"], 1);
    EXPECT_FALSE(run.win.dlg->m_serial.IsOpen(3));
  }
}

TEST(UpdateOverPty, AnnouncementAndAddressEchoes) {
  {
    SimRun run("QRT_Update_OP_FWV2.04.exe", 4, {"--fault", "main:announce"});
    run.Click();
    EXPECT_EQ(run.win.dlg->m_nError, 5);
    EXPECT_EQ(run.win.Boxes(), std::vector<std::string>{"Error occured! Code:5"});
    EXPECT_EQ(run.win.List(), std::vector<std::string>{"Previous firmware main controller: 02.030000"});
    EXPECT_EQ(run.commands, (std::vector<std::string>{"FWU0", "pages main 0"}));
  }
  for (int nPage : {1, 200}) {
    SimRun run("QRT_Update_OP_FWV2.04.exe", 4, {"--fault", "main:addr@" + std::to_string(nPage)});
    run.Click();
    EXPECT_EQ(run.win.dlg->m_nError, 4);
    EXPECT_EQ(run.win.Boxes(), std::vector<std::string>{"Error occured! Code:4"});
    // No data after the wrong echo, nothing after the stop.
    EXPECT_EQ(run.commands, (std::vector<std::string>{"FWU0", "pages main " + std::to_string(nPage - 1)}));
    EXPECT_EQ(run.win.List().size(), static_cast<std::size_t>(nPage));
    EXPECT_EQ(run.win.Item(IDC_PROGRESS).position, nPage - 1);
  }
}

TEST(UpdateOverPty, UnacknowledgedPageGoesOnAndEndsWithCode2) {
  SimRun run("QRT_Update_OP_FWV2.04.exe", 4, {"--fault", "main:noa1@3"});
  run.Click();
  EXPECT_EQ(run.win.dlg->m_nError, 2);
  EXPECT_EQ(run.win.Boxes(), std::vector<std::string>{"Error occured! Code:2"});
  EXPECT_EQ(run.commands, (std::vector<std::string>{"FWU0", "pages main 350"}));
  EXPECT_EQ(run.win.List()[0], "Page 350 of 350 - OK!");
  EXPECT_EQ(run.Count("Page 3 of 350 - OK!"), 0);
  EXPECT_EQ(run.Count("Main controller update successful"), 0);
  EXPECT_EQ(run.win.List().size(), 1u + 349u);
}

TEST(UpdateOverPty, RefusedChecksumAtPageFiveStopsThere) {
  SimRun run("QRT_Update_OP_FWV2.04.exe", 4, {"--fault", "main:e2@5"});
  run.Click();
  EXPECT_EQ(run.win.dlg->m_nError, 3);
  EXPECT_EQ(run.win.Boxes(), (std::vector<std::string>{"Checksum Error!", "Error occured! Code:3"}));
  // Page 6's address would show as bytes after the ended exchange.
  EXPECT_EQ(run.commands, (std::vector<std::string>{"FWU0", "pages main 5"}));
  EXPECT_EQ(run.win.List(), (std::vector<std::string>{"Page 5 of 350 - ERROR!", "Page 4 of 350 - OK!",
                                                      "Page 3 of 350 - OK!", "Page 2 of 350 - OK!",
                                                      "Page 1 of 350 - OK!", "Previous firmware main controller: 02.030000"}));
  EXPECT_EQ(run.win.Item(IDC_PROGRESS).position, 4);
}

TEST(UpdateOverPty, UnconfirmedChecksumEndsWithCode8) {
  // A checksum answered neither "A2" nor "E2" (garbled, short): the pages go
  // on as on the wire, then code 8 and nothing more, no channel, no "FWUE".
  for (const char* pszFault : {"main:badsum@7", "main:badsum@350=A"}) {
    SimRun run("QRT_Update_OP_FWV2.04.exe", 3, {"--channels", "3", "--fault", pszFault});
    run.Click();
    EXPECT_EQ(run.win.dlg->m_nError, 8) << pszFault;
    EXPECT_EQ(run.win.Boxes(), std::vector<std::string>{"Error occured! Code:8"});
    EXPECT_EQ(run.commands, (std::vector<std::string>{"FWU0", "pages main 350"}));
    EXPECT_TRUE(run.sim.Dump("main") == FirstPages("FW1C.qrt", 350));
    EXPECT_EQ(run.win.List().size(), 1u + 349u);
    EXPECT_EQ(run.Count("Main controller update successful"), 0);
    EXPECT_FALSE(run.win.dlg->m_serial.IsOpen(3));
  }
  {
    // A missing closing character is no error.
    SimRun run("QRT_Update_OP_FWV2.04.exe", 3, {"--channels", "3", "--fault", "ch3:noclose"});
    run.Click();
    EXPECT_EQ(run.win.dlg->m_nError, 0);
    EXPECT_EQ(run.win.Boxes(), std::vector<std::string>{kSuccess});
    EXPECT_EQ(run.commands.back(), "FWUE");
  }
}

TEST(UpdateOverPty, LineLostBeforeFwueEndsWithCode8) {
  // The device drops off the line after the last channel, its last reply
  // and closing character taken: "FWUE" cannot be written, so the update is
  // not reported as done.
  SimRun run("QRT_Update_OP_FWV2.04.exe", 3, {"--channels", "3", "--fault", "ch3:hangup"});
  run.Click();
  EXPECT_EQ(run.win.dlg->m_nError, 8);
  EXPECT_EQ(run.win.Boxes(), std::vector<std::string>{"Error occured! Code:8"});
  EXPECT_EQ(run.win.List()[0], "Channel controller update successful!");
  EXPECT_EQ(run.commands.back(), "pages ch3 80");
  EXPECT_FALSE(run.win.dlg->m_serial.IsOpen(3));
}

TEST(UpdateOverPty, ReplyLateWithinTheReadTimeOutsIsTakenOneSlowerIsNot) {
  // One character may take 200 ms per character plus 500 ms: a reply later
  // than the 200 ms allowed between characters is still the device's
  // answer. The margins are wide on the side a busy machine moves them to
  // (a reply can only come later than planned, never sooner).
  {
    SimRun run("QRT_Update_OP_FWV2.04.exe", 4, {"--fault", "ch1:late@3=250"});
    run.Click();
    EXPECT_EQ(run.win.dlg->m_nError, 0);
    EXPECT_EQ(run.win.Boxes(), std::vector<std::string>{kSuccess});
    EXPECT_EQ(run.commands.back(), "FWUE");
  }
  // 2 s between characters, far beyond the 700 ms one read of a character
  // waits: the read gives up first, so page 3's address echo never arrives
  // whole.
  {
    SimRun run("QRT_Update_OP_FWV2.04.exe", 4, {"--fault", "ch1:slow@3=2000"});
    run.Click();
    EXPECT_EQ(run.win.dlg->m_nError, 4);
    EXPECT_EQ(run.win.Boxes(), std::vector<std::string>{"Error occured! Code:4"});
    EXPECT_EQ(run.win.List()[0], "Page 2 of 80 - OK!");
    EXPECT_EQ(std::count(run.commands.begin(), run.commands.end(), "FWUE"), 0);
  }
}

TEST(UpdateOverPty, ContainerThatIsNoRegularFileIsRefusedBeforeThePortOpens) {
  // A FIFO nobody writes to would block a read for ever; a device like
  // /dev/zero would read as a complete container of zeros.
  for (const char* pszKind : {"fifo", "device"}) {
    SimRun run("QRT_Update_OP_FWV2.04.exe", 4, {});
    run.dir.Remove("FW1C.qrt");
    const std::filesystem::path path = run.dir.Path() / "FW1C.qrt";
    if (std::string(pszKind) == "fifo") {
      ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    } else {
      std::filesystem::create_symlink("/dev/zero", path);
    }
    run.Click();
    EXPECT_EQ(run.win.dlg->m_nError, 7) << pszKind;
    EXPECT_EQ(run.win.Boxes(), std::vector<std::string>{"Firmware file FW1C.qrt is missing or incomplete! Update abort!"});
    EXPECT_TRUE(run.commands.empty());
    EXPECT_TRUE(run.win.List().empty());
  }
}

TEST(UpdateOverPty, FailingChannelTwoSkipsTheRest) {
  for (const char* pszFault : {"ch2:e2@10", "ch2:ident"}) {
    SimRun run("QRT_Update_OP_FWV2.04.exe", 4, {"--fault", pszFault});
    run.Click();
    const bool bChecksum = std::string(pszFault) == "ch2:e2@10";
    EXPECT_EQ(run.win.dlg->m_nError, bChecksum ? 3 : 6);
    EXPECT_EQ(run.win.Boxes(), bChecksum ? (std::vector<std::string>{"Checksum Error!", "Error occured! Code:3"})
                                         : std::vector<std::string>{"Wrong or no device detected! - Process abort"});
    EXPECT_EQ(run.commands, (std::vector<std::string>{"FWU0", "pages main 350", "FWU1", "FWU", "pages ch1 80", "FWU2",
                                                      "FWU", bChecksum ? "pages ch2 10" : "pages ch2 0"}));
    if (bChecksum) {
      EXPECT_EQ(run.win.List()[0], "Page 10 of 80 - ERROR!");
    }
  }
}

TEST(UpdateOverPty, ContainerGoneBeforeItsLoadStopsWithCode7) {
  for (bool bFifo : {false, true}) {
    SCOPED_TRACE(bFifo ? "replaced by a FIFO" : "removed");
    // A QRT1220 loads FW2A.qrt only after the main controller and channel 1;
    // it disappears as soon as FW2B.qrt is loaded for channel 1.
    SimRun run("QRT_Update_OP_FWV2.04.exe", 1, {"--family", "12x0", "--channels", "2"});
    const int fd = inotify_init1(IN_NONBLOCK);
    ASSERT_GE(fd, 0);
    inotify_add_watch(fd, run.dir.Path().c_str(), IN_OPEN);
    // Set once the click is over: a run that never loads FW2B.qrt twice
    // (a transfer gone wrong) must not leave the remover waiting.
    std::atomic<bool> bClickDone{false};
    std::thread remover([&] {
      int nOpens = 0;
      alignas(inotify_event) char buffer[4096];
      while (nOpens < 2) {  // checked once, then loaded
        pollfd pfd{fd, POLLIN, 0};
        if (poll(&pfd, 1, 50) == 0) {
          if (bClickDone) return;
          continue;
        }
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) return;
        for (char* p = buffer; p < buffer + n;) {
          const auto* ev = reinterpret_cast<const inotify_event*>(p);
          if (ev->len > 0 && std::string(ev->name) == "FW2B.qrt") ++nOpens;
          p += sizeof(inotify_event) + ev->len;
        }
      }
      run.dir.Remove("FW2A.qrt");
      // Replaced by a FIFO: refused as well, without waiting for a writer.
      if (bFifo) mkfifo((run.dir.Path() / "FW2A.qrt").c_str(), 0600);
    });
    run.Click();
    bClickDone = true;
    remover.join();
    close(fd);
    EXPECT_EQ(run.win.dlg->m_nError, 7);
    EXPECT_EQ(run.win.Boxes(), std::vector<std::string>{"Firmware file FW2A.qrt is missing or incomplete! Update abort!"});
    EXPECT_EQ(run.commands, (std::vector<std::string>{"FWU0", "pages main 300", "FWU1", "FWU", "pages ch1 80"}));
    EXPECT_EQ(run.win.List()[0], "Channel controller update successful!");
    EXPECT_FALSE(run.win.dlg->m_serial.IsOpen(3));
  }
}

TEST(UpdateOverPty, GpibRunThenComRunEachCloseTheirOwnLink) {
  // The stand-in library, loaded by its path: the binding's load by name
  // then finds it (a run path would not serve under the sanitizers, whose
  // dlopen is called from their own library).
  ASSERT_NE(dlopen(QRT_STANDIN_GPIB, RTLD_NOW | RTLD_GLOBAL), nullptr) << dlerror();
  WorkDir dir;
  const std::string strGpibOut = (dir.Path() / "gpib").string();
  std::filesystem::create_directories(strGpibOut);
  setenv("QRTSIM_GPIB", ("--family 14x0 --channels 4 --report " + strGpibOut + "/report.json --dump-dir " + strGpibOut + "/dump").c_str(), 1);
  UpdateWindow win("QRT_Update_MURELL_FWV2.04.exe");
  win.dlg->m_cbGpibAddress.SetCurSel(3);  // never read: always address 30
  win.Choose("GPIB", -1);
  win.ClickUpdate();
  EXPECT_EQ(win.dlg->m_nError, 0);
  EXPECT_EQ(win.Boxes(), std::vector<std::string>{kSuccess});
  std::ifstream reportFile(strGpibOut + "/report.json");
  const std::string strReport((std::istreambuf_iterator<char>(reportFile)), std::istreambuf_iterator<char>());
  EXPECT_NE(strReport.find("\"ibdev\": [{\"board\": 0, \"pad\": 30, \"sad\": 0, \"tmo\": 12, \"eot\": 0, \"eos\": 0"),
            std::string::npos)
      << strReport;
  EXPECT_NE(strReport.find("\"ibonl\": [{\"ud\": " + std::to_string(win.dlg->m_nGpibDevice) + ", \"v\": 0}]"),
            std::string::npos);
  const std::vector<std::string> commands = JsonStringArray(strReport, "commands");
  ASSERT_FALSE(commands.empty());
  EXPECT_EQ(commands.back(), "FWUE");
  // One ibwrt per string: FWU0, the page count, three per page (address,
  // data, checksum) for 350 pages, FWUn, FWU and the page count with three
  // per page for 80 pages on each of four channels, and FWUE.
  EXPECT_EQ(JsonValue(strReport, "ibwrt_calls"), std::to_string(2 + 350 * 3 + 4 * (3 + 80 * 3) + 1));
  EXPECT_EQ(JsonValue(strReport, "ibwrt_bytes"), JsonValue(strReport, "received_bytes"));
  {
    std::ifstream main(strGpibOut + "/dump/main.bin", std::ios::binary);
    const std::string str((std::istreambuf_iterator<char>(main)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(std::vector<std::uint8_t>(str.begin(), str.end()) == FirstPages("FW1E.qrt", 350));
  }

  // The same window over COM3 afterwards: the port is closed at the end,
  // and the GPIB device is not taken offline again (its record would grow).
  SimProcess sim({}, (dir.Path() / "sim").string());
  platform::SetComPortPath(3, sim.SlavePath());
  win.Choose("COM3", -1);
  win.ClickUpdate();
  sim.Stop();
  EXPECT_EQ(win.dlg->m_nError, 0);
  EXPECT_EQ(win.Boxes(), (std::vector<std::string>{kSuccess, kSuccess}));
  EXPECT_EQ(sim.Commands(), (std::vector<std::string>{"FWU0", "pages main 350", "FWU1", "FWU", "pages ch1 80", "FWU2", "FWU",
                                                     "pages ch2 80", "FWU3", "FWU", "pages ch3 80", "FWU4", "FWU",
                                                     "pages ch4 80", "FWUE"}));
  EXPECT_FALSE(win.dlg->m_serial.IsOpen(3));
  // The same update reached the device over GPIB as over the COM port:
  // the same bytes in the same order.
  const std::string strComReport = sim.Report();
  EXPECT_EQ(JsonValue(strComReport, "received_bytes"), JsonValue(strReport, "received_bytes"));
  EXPECT_EQ(JsonValue(strComReport, "received_fnv1a").size(), 16u);
  EXPECT_EQ(JsonValue(strComReport, "received_fnv1a"), JsonValue(strReport, "received_fnv1a"));
  std::ifstream again(strGpibOut + "/report.json");
  const std::string strAgain((std::istreambuf_iterator<char>(again)), std::istreambuf_iterator<char>());
  EXPECT_EQ(strAgain, strReport);
}
