// The update button over a scripted device link: the settings the link is
// opened with, the transfer events an observer sees, and a closing command
// the line refuses.
#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "tests/update/BorrowedLink.h"
#include "tests/update/ScriptedPeer.h"
#include "tests/update/UpdateFixture.h"
#include "update/TransferEvents.h"

namespace {

// Every event as one line; consecutive confirmed pages of a controller are
// folded into "pages <ctl> a-b ok" so that an order is easy to compare.
class EventLog : public TransferEvents {
 public:
  EventLog() { AddTransferObserver(this); }
  ~EventLog() override { RemoveTransferObserver(this); }

  std::vector<std::string> m_lines;

  void OnUpdateStarted(const UpdateStartedEvent& e) override {
    Add("update " + e.strBrand + " " + e.strModel + " " + e.strInterface);
  }
  void OnControllerStarted(const ControllerStartedEvent& e) override {
    Add("start " + e.strController + " " + e.strContainer + " " + std::to_string(e.nPages));
  }
  void OnIdentification(const IdentificationEvent& e) override {
    Add("ident " + e.strController + " " + e.strIdentification + " " + e.strPreviousVersion);
  }
  void OnPage(const PageEvent& e) override {
    static const char* const kOutcome[] = {"ok", "refused", "unconfirmed", "no-ack"};
    const std::string strOutcome = kOutcome[static_cast<int>(e.outcome)];
    const std::string strHead = "pages " + e.strController + " ";
    if (e.outcome == PageOutcome::Confirmed && !m_lines.empty() && m_lines.back().rfind(strHead, 0) == 0 &&
        m_lines.back().size() > 3 && m_lines.back().compare(m_lines.back().size() - 3, 3, " ok") == 0 &&
        m_nLastPage == e.nPage - 1) {
      m_lines.back() = strHead + std::to_string(m_nFirstPage) + "-" + std::to_string(e.nPage) + " ok";
    } else {
      m_nFirstPage = e.nPage;
      Add(strHead + std::to_string(e.nPage) + "-" + std::to_string(e.nPage) + " " + strOutcome);
    }
    m_nLastPage = e.nPage;
    if (e.nPages != m_nPagesOf[e.strController] && m_nPagesOf[e.strController] != 0) m_bPagesDiffer = true;
    m_nPagesOf[e.strController] = e.nPages;
  }
  void OnControllerEnded(const ControllerEndedEvent& e) override {
    Add("end " + e.strController + " " + std::to_string(e.nResult));
  }
  void OnUpdateEnded(const UpdateEndedEvent& e) override { Add("done " + std::to_string(e.nCode)); }

  bool m_bPagesDiffer = false;  // a controller's pages told different totals

 private:
  void Add(const std::string& line) { m_lines.push_back(line); }
  int m_nFirstPage = 0;
  int m_nLastPage = 0;
  std::map<std::string, int> m_nPagesOf;
};

struct ScriptedRun {
  explicit ScriptedRun(const char* pszName = "QRT_Update_OP_FWV2.04.exe") : win(pszName) {
    win.dlg->m_linkFactory = [this](const LinkAddress&, const LinkResources&) {
      return std::make_unique<BorrowedLink>(peer);
    };
  }
  WorkDir dir;
  ScriptedPeer peer;
  EventLog log;
  UpdateWindow win;
};

}  // namespace

TEST(UpdateLink, OpensTheComPortWithTheUpdatesTimeoutsAndLineAndClosesItLast) {
  ScriptedRun run;
  run.win.Choose("COM3", 4);
  run.win.ClickUpdate();
  ASSERT_EQ(run.peer.m_opens.size(), 1u);
  const LinkSettings& s = run.peer.m_opens[0];
  EXPECT_EQ(s.address, ParseLinkAddress("COM3"));
  // A device that answers 300 to 700 ms after a character is still heard.
  EXPECT_EQ(std::vector<std::uint32_t>({s.dwReadInterval, s.dwReadMultiplier, s.dwReadConstant, s.dwWriteMultiplier,
                                        s.dwWriteConstant}),
            std::vector<std::uint32_t>({200, 200, 500, 100, 1000}));
  EXPECT_EQ(s.dwBaudRate, 19200u);
  EXPECT_EQ(s.byByteSize, 8);
  EXPECT_EQ(s.byParity, 0);
  EXPECT_EQ(s.byStopBits, 0);
  EXPECT_EQ(s.nParityCheck, 0);
  EXPECT_EQ(s.chXon, s.chXoff);
  EXPECT_EQ(run.peer.m_events.front(), "open");
  EXPECT_EQ(run.peer.m_events.back(), "close");
  // Before "FWUE": pending input discarded.
  const int nFwue = run.peer.IndexOf("send:FWUE");
  ASSERT_GT(nFwue, 0);
  EXPECT_EQ(run.peer.m_events[static_cast<std::size_t>(nFwue) - 1], "purge");
  EXPECT_EQ(run.win.Boxes(), std::vector<std::string>{"i:Firmware successfully updated! Please restart device!"});

  // GPIB: primary address 30 whatever the address list shows, 3 s time-out.
  ScriptedRun gpib;
  gpib.win.Choose("GPIB", 4);
  gpib.win.fe.ComboSetCurSel(*gpib.win.dlg, IDC_GPIBADDRESS, 3);
  gpib.win.ClickUpdate();
  ASSERT_EQ(gpib.peer.m_opens.size(), 1u);
  EXPECT_EQ(gpib.peer.m_opens[0].address, ParseLinkAddress("GPIB"));
  EXPECT_EQ(gpib.peer.m_opens[0].nGpibBoard, 0);
  EXPECT_EQ(gpib.peer.m_opens[0].nGpibPad, 30);
  EXPECT_EQ(gpib.peer.m_opens[0].nGpibSad, 0);
  EXPECT_EQ(gpib.peer.m_opens[0].nGpibTimeout, 12);
  EXPECT_EQ(gpib.peer.m_opens[0].nGpibEot, 0);
  EXPECT_EQ(gpib.peer.m_opens[0].nGpibEos, 0);
  EXPECT_EQ(gpib.win.dlg->m_bGpib, 1);
}

TEST(UpdateEvents, AFullUpdateInOrder) {
  ScriptedRun run;
  run.win.Choose("COM3", 4);
  run.win.ClickUpdate();
  std::vector<std::string> expected = {"update OP QRT1440 COM3", "start main FW1C.qrt 350",
                                       "ident main QRT1440 20311107", "pages main 1-350 ok", "end main 0"};
  for (const char* ch : {"ch1", "ch2", "ch3", "ch4"}) {
    const std::string c = ch;
    expected.insert(expected.end(), {"start " + c + " FW2B.qrt 80", "ident " + c + " QRT1230CH 20311107",
                                     "pages " + c + " 1-80 ok", "end " + c + " 0"});
  }
  expected.push_back("done 0");
  EXPECT_EQ(run.log.m_lines, expected);
  EXPECT_FALSE(run.log.m_bPagesDiffer);

  // The same observer follows the next run from its start; the window
  // itself shows what it always showed.
  run.log.m_lines.clear();
  run.win.ClickUpdate();
  EXPECT_EQ(run.log.m_lines.size(), expected.size());
  EXPECT_EQ(run.win.List().front(), "Channel controller update successful!");
}

TEST(UpdateEvents, ARefusedChecksumAtPageFiveEndsTheControllerAndTheUpdateWithCode3) {
  ScriptedRun run;
  run.peer.m_checksumReply[4] = "E2";
  run.win.Choose("COM3", 4);
  run.win.ClickUpdate();
  EXPECT_EQ(run.log.m_lines, (std::vector<std::string>{"update OP QRT1440 COM3", "start main FW1C.qrt 350",
                                                        "ident main QRT1440 20311107", "pages main 1-4 ok",
                                                        "pages main 5-5 refused", "end main 3", "done 3"}));
  EXPECT_EQ(run.win.Boxes(), (std::vector<std::string>{"Checksum Error!", "Error occured! Code:3"}));
  EXPECT_EQ(run.peer.Count("send:FWUE"), 0);
  EXPECT_EQ(run.peer.m_events.back(), "close");

  // A channel that does not identify: its identification is still told,
  // without a version, and no page of it.
  ScriptedRun wrong("QRT_Update_MURELL_FWV2.04.exe");
  wrong.peer.m_strChannelId = "QRT1230XX";
  wrong.win.Choose("GPIB", 4);
  wrong.win.ClickUpdate();
  ASSERT_GE(wrong.log.m_lines.size(), 4u);
  EXPECT_EQ(wrong.log.m_lines[0], "update MURELL ZVN1440 GPIB");
  EXPECT_EQ(std::vector<std::string>(wrong.log.m_lines.end() - 4, wrong.log.m_lines.end()),
            (std::vector<std::string>{"start ch1 FW2B.qrt 80", "ident ch1 QRT1230XX ", "end ch1 6", "done 6"}));
}

TEST(UpdateEvents, UnansweredAndUnacknowledgedPagesAreToldAsSuch) {
  ScriptedRun run;
  run.peer.m_checksumReply[1] = "";  // silence after the checksum of page 2
  run.peer.m_dataReply[2] = "XX";    // page 3's data not acknowledged
  run.win.Choose("COM3", 4);
  run.win.ClickUpdate();
  ASSERT_GE(run.log.m_lines.size(), 7u);
  EXPECT_EQ(std::vector<std::string>(run.log.m_lines.begin() + 3, run.log.m_lines.begin() + 7),
            (std::vector<std::string>{"pages main 1-1 ok", "pages main 2-2 unconfirmed", "pages main 3-3 no-ack",
                                      "pages main 4-350 ok"}));
  EXPECT_EQ(run.log.m_lines.back(), "done 2");
  EXPECT_EQ(run.peer.Count("send:FWUE"), 0);
}

TEST(UpdateCommand, AClosingCommandTheLineRefusesEndsWithCode8AndNoSuccess) {
  ScriptedRun run;
  run.peer.m_refusedSends = {"FWUE"};
  run.win.Choose("COM3", 4);
  run.win.ClickUpdate();
  EXPECT_EQ(run.peer.Count("send:FWUE"), 1);
  EXPECT_EQ(run.win.dlg->m_nError, 8);
  EXPECT_EQ(run.win.Boxes(), std::vector<std::string>{"Error occured! Code:8"});
  EXPECT_EQ(run.log.m_lines.back(), "done 8");
  EXPECT_EQ(run.peer.m_events.back(), "close");
}

TEST(UpdateCommand, ALinkThatDoesNotOpenStopsWithCode99AndReachesNothing) {
  ScriptedRun run;
  run.peer.m_nOpenResult = 0;
  run.win.Choose("COM3", 4);
  run.win.ClickUpdate();
  EXPECT_EQ(run.win.Boxes(), std::vector<std::string>{"can not open port!"});
  EXPECT_EQ(run.win.dlg->m_nError, 99);
  EXPECT_EQ(run.peer.Events("send:").size(), 0u);
  EXPECT_EQ(run.log.m_lines, (std::vector<std::string>{"update OP QRT1440 COM3", "done 99"}));
}
