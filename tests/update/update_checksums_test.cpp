// The update button with the bundle's SHA256SUMS beside the containers, over
// a scripted device link: what is accepted, what is refused before the link
// opens, and a container changed on disk after that first check.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>

#include "platform/digest.h"
#include "tests/update/BorrowedLink.h"
#include "tests/update/ScriptedPeer.h"
#include "tests/update/UpdateFixture.h"
#include "update/TransferEvents.h"

namespace {

// The containers loaded for sending, and a hook at each controller's end.
class Observer : public TransferEvents {
 public:
  Observer() { AddTransferObserver(this); }
  ~Observer() override { RemoveTransferObserver(this); }
  void OnContainerLoaded(const ContainerLoadedEvent& e) override { m_loaded.push_back(e); }
  void OnControllerEnded(const ControllerEndedEvent& e) override {
    if (m_onEnded) m_onEnded(e.strController);
  }
  std::vector<ContainerLoadedEvent> m_loaded;
  std::function<void(const std::string&)> m_onEnded;
};

struct ChecksumRun {
  explicit ChecksumRun(const char* pszName = "QRT_Update_OP_FWV2.04.exe") : win(pszName) {
    win.dlg->m_linkFactory = [this](const LinkAddress&, const LinkResources&) {
      return std::make_unique<BorrowedLink>(peer, [this] {
        if (onOpen) onOpen();
      });
    };
  }
  int Sends() const { return static_cast<int>(peer.Events("send:").size()); }
  WorkDir dir;
  ScriptedPeer peer;
  Observer observer;
  std::function<void()> onOpen;
  UpdateWindow win;
};

std::string HexOf(const std::vector<std::uint8_t>& bytes) {
  platform::Sha256Digest digest{};
  EXPECT_EQ(platform::Sha256Of(bytes.data(), bytes.size(), digest), 1);
  return platform::Sha256Hex(digest);
}

std::string Upper(std::string str) {
  for (char& c : str)
    if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
  return str;
}

// A sha256sum line for the container of that name as WorkDir writes it.
std::string Line(const std::string& strName) { return HexOf(ContainerBytes(strName)) + "  " + strName + "\n"; }

std::vector<std::uint8_t> Bytes(const std::string& str) { return {str.begin(), str.end()}; }

const char kSuccess[] = "i:Firmware successfully updated! Please restart device!";

}  // namespace

TEST(UpdateChecksums, ListedContainersUpdateAndAreReportedAsChecked) {
  // Upper-case digits with the binary mark, CR LF ends, files of the bundle
  // that are no containers: all as sha256sum takes them.
  ChecksumRun run;
  run.dir.Write("SHA256SUMS", Bytes("0000000000000000000000000000000000000000000000000000000000000000  README.txt\r\n" +
                                    Line("FW1C.qrt") + "\n" + Upper(HexOf(ContainerBytes("FW2B.qrt"))) +
                                    " *FW2B.qrt\r\n"));
  run.win.Choose("COM3", 4);
  run.win.ClickUpdate();
  EXPECT_EQ(run.win.Boxes(), std::vector<std::string>{kSuccess});
  EXPECT_EQ(run.win.dlg->m_nError, 0);
  ASSERT_EQ(run.observer.m_loaded.size(), 2u);
  EXPECT_EQ(run.observer.m_loaded[0].strFile, "FW1C.qrt");
  EXPECT_EQ(run.observer.m_loaded[0].strSha256, HexOf(ContainerBytes("FW1C.qrt")));
  EXPECT_EQ(run.observer.m_loaded[1].strSha256, HexOf(ContainerBytes("FW2B.qrt")));
  for (const ContainerLoadedEvent& e : run.observer.m_loaded) EXPECT_EQ(e.strListedIn, "SHA256SUMS");

  // Only the containers the row sends need to be listed: a MURELL bundle
  // holds two.
  ChecksumRun murell("QRT_Update_MURELL_FWV2.04.exe");
  murell.dir.Write("SHA256SUMS", Bytes(Line("FW1E.qrt") + Line("FW2B.qrt")));
  murell.win.Choose("COM3", 4);
  murell.win.ClickUpdate();
  EXPECT_EQ(murell.win.Boxes(), std::vector<std::string>{kSuccess});
  EXPECT_EQ(murell.peer.Count("send:FWUE"), 1);

  // Without a list: as always, the digest told but not checked against one.
  ChecksumRun plain;
  plain.win.Choose("COM3", 4);
  plain.win.ClickUpdate();
  EXPECT_EQ(plain.win.Boxes(), std::vector<std::string>{kSuccess});
  ASSERT_EQ(plain.observer.m_loaded.size(), 2u);
  EXPECT_EQ(plain.observer.m_loaded[1].strSha256, HexOf(ContainerBytes("FW2B.qrt")));
  EXPECT_EQ(plain.observer.m_loaded[1].strListedIn, "");
}

TEST(UpdateChecksums, ADifferingOrUnlistedContainerOrAnUnusableListIsRefusedBeforeTheLinkOpens) {
  const std::string strAll = Line("FW1A.qrt") + Line("FW1C.qrt") + Line("FW2A.qrt") + Line("FW2B.qrt");
  std::vector<std::uint8_t> changed = ContainerBytes("FW2B.qrt");
  changed[70000] ^= 0x01;
  struct Case {
    const char* pszWhat;
    int nSelection;
    std::string strList;  // "" for a folder named SHA256SUMS
    std::vector<std::uint8_t> fw2b;
    std::string strBox;
  } cases[] = {
      {"one byte of FW2B changed", 4, strAll, changed, "Firmware file FW2B.qrt does not match SHA256SUMS! Update abort!"},
      {"FW2B not listed", 4, Line("FW1C.qrt"), {}, "Firmware file FW2B.qrt is not listed in SHA256SUMS! Update abort!"},
      // The QRT1220's last container, 5A, after two that match.
      {"FW2A not listed", 1, Line("FW1A.qrt") + Line("FW2B.qrt"), {},
       "Firmware file FW2A.qrt is not listed in SHA256SUMS! Update abort!"},
      {"a line of another shape", 4, strAll + "FW1C.qrt: OK\n", {}, "SHA256SUMS cannot be read! Update abort!"},
      {"FW2B with two digests", 4, strAll + std::string(64, '0') + "  FW2B.qrt\n", {},
       "SHA256SUMS cannot be read! Update abort!"},
      {"a list over 1 MiB", 4, strAll + std::string(1024 * 1024, '\n'), {}, "SHA256SUMS cannot be read! Update abort!"},
      {"a folder", 4, "", {}, "SHA256SUMS cannot be read! Update abort!"},
  };
  for (const Case& c : cases) {
    ChecksumRun run;
    if (c.strList.empty()) {
      std::filesystem::create_directory(run.dir.Path() / "SHA256SUMS");
    } else {
      run.dir.Write("SHA256SUMS", Bytes(c.strList));
    }
    if (!c.fw2b.empty()) run.dir.Write("FW2B.qrt", c.fw2b);
    run.win.Choose("COM3", c.nSelection);
    run.win.ClickUpdate();
    EXPECT_EQ(run.win.Boxes(), std::vector<std::string>{c.strBox}) << c.pszWhat;
    EXPECT_EQ(run.win.dlg->m_nError, 7) << c.pszWhat;
    EXPECT_TRUE(run.peer.m_opens.empty()) << c.pszWhat;
    EXPECT_EQ(run.Sends(), 0) << c.pszWhat;
    EXPECT_TRUE(run.observer.m_loaded.empty()) << c.pszWhat;
    EXPECT_TRUE(run.win.List().empty()) << c.pszWhat;
  }
}

TEST(UpdateChecksums, AContainerSwappedAfterTheFirstCheckIsRefusedAtItsLoadStep) {
  // Another valid container put in FW2B.qrt's place while the main
  // controller is written: the channels receive nothing.
  ChecksumRun run;
  run.dir.Write("SHA256SUMS", Bytes(Line("FW1C.qrt") + Line("FW2B.qrt")));
  run.observer.m_onEnded = [&run](const std::string& strController) {
    if (strController == "main") run.dir.Write("FW2B.qrt", ContainerBytes("FW2A.qrt"));
  };
  run.win.Choose("COM3", 4);
  run.win.ClickUpdate();
  EXPECT_EQ(run.win.Boxes(),
            std::vector<std::string>{"Firmware file FW2B.qrt does not match SHA256SUMS! Update abort!"});
  EXPECT_EQ(run.win.dlg->m_nError, 7);
  EXPECT_EQ(run.peer.Count("send:FWU0"), 1);
  EXPECT_EQ(run.peer.Count("send:FWU1"), 0);
  EXPECT_EQ(run.peer.Count("send:FWUE"), 0);
  EXPECT_EQ(run.peer.m_events.back(), "close");
  ASSERT_EQ(run.observer.m_loaded.size(), 1u);
  EXPECT_EQ(run.observer.m_loaded[0].strFile, "FW1C.qrt");

  // The main container swapped as the link opens: not a character is sent.
  ChecksumRun early;
  early.dir.Write("SHA256SUMS", Bytes(Line("FW1C.qrt") + Line("FW2B.qrt")));
  early.onOpen = [&early] { early.dir.Write("FW1C.qrt", ContainerBytes("FW1A.qrt")); };
  early.win.Choose("COM3", 4);
  early.win.ClickUpdate();
  EXPECT_EQ(early.win.Boxes(),
            std::vector<std::string>{"Firmware file FW1C.qrt does not match SHA256SUMS! Update abort!"});
  EXPECT_EQ(early.win.dlg->m_nError, 7);
  EXPECT_EQ(early.peer.m_opens.size(), 1u);
  EXPECT_EQ(early.Sends(), 0);
  EXPECT_EQ(early.peer.m_events.back(), "close");
  EXPECT_TRUE(early.observer.m_loaded.empty());
}
