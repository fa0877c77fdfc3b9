// Fuzzes the whole update command (the update button of the main window in
// the in-memory front end) against arbitrary device replies: the main
// controller and every channel of the chosen model, through "FWUE". The
// containers are written once to a work folder; each input then clicks the
// button with a scripted device in the window's link factory, wrapped in the
// link a stop signal cuts off (as the console program runs it).
//
// Input: byte 0 chooses the model (the five rows of the plan); byte 1 the
// device exchange after which a stop is asked (0: never); every later byte
// steers one reply:
//   0x00-0x7F  the right reply (identification, version, echo, "A1", "A2", closing)
//   0x80-0xBF  the right reply cut short (low bits: how many characters are left)
//   0xC0-0xFE  raw: the next n input bytes as they are
//   0xFF       silence from here on
// and once the input is used up the device answers right, so that short
// inputs reach "FWUE". Invariants, checked with abort(): the command ends
// within a bounded number of exchanges, touches nothing outside its buffers
// (AddressSanitizer); the pages the transfer events count as confirmed were
// each answered "A2" by the script; code 0, the success box and "FWUE" come
// only together, and only when every page of every controller of the plan
// was answered "A2"; after a stop nothing more is sent and the port is closed.
// The update record the console would write from the same events claims no
// more: its confirmed counts never exceed the pages answered "A2", an "ok"
// controller has all its pages confirmed, and "updated" only comes with
// code 0.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <unistd.h>

#include "app/UpdateApp.h"
#include "app/UpdateDialog.h"
#include "link/StoppableLink.h"
#include "platform/platform.h"
#include "tests/update/BorrowedLink.h"
#include "ui/console/lib/UpdateRecord.h"
#include "ui/memory/MemoryFrontEnd.h"
#include "update/PageTransfer.h"
#include "common/ResultCodes.h"
#include "update/TransferEvents.h"
#include "update/UpdatePlan.h"

// The process services of platform/posix/process.cpp, here without the
// pauses: the update's 100 ms waits would make every input take a second.
namespace platform {
void SetStartName(const char*) {}
std::string ModuleFileName() { return ""; }
void Sleep(unsigned) {}
void DebugTrace(const std::string&) {}
}  // namespace platform

namespace {

// The scripted device. It follows the exchange from what is sent to it.
class FuzzDevice : public DeviceLink {
 public:
  FuzzDevice(const std::uint8_t* pData, std::size_t nSize, int nFamilySelection, int nStopAt)
      : m_pData(pData), m_nSize(nSize), m_nSelection(nFamilySelection), m_nStopAt(nStopAt) {}

  int Open(const LinkSettings&) override {
    if (Stopped()) std::abort();  // the stoppable link must not open after a stop
    ++m_nOpens;
    return 1;
  }
  int SendByte(char ch) override { return SendString(std::string(1, ch)); }
  int SendString(const std::string& str) override {
    if (Stopped()) std::abort();  // nothing reaches the device after a stop
    Step();
    m_sends.push_back(str);
    if (str.rfind("FWU", 0) == 0) {
      // "FWU0" main, "FWU1".."FWU4" select a channel, "FWU" starts it, "FWUE" ends.
      if (str == "FWU0") m_strController = "main";
      if (str.size() == 4 && str[3] >= '1' && str[3] <= '4') m_strController = std::string("ch") + str[3];
      m_bAnnounced = false;
      m_bDataSent = false;
    } else if (str.size() == 512) {
      m_bDataSent = true;
    } else if (str.size() == 6 && m_bAnnounced) {
      m_nPage = static_cast<int>(std::strtoul(str.c_str(), nullptr, 16) / 256) + 1;
      m_bDataSent = false;
    } else if (str.size() == 6) {
      m_bAnnounced = true;
    } else if (str.size() == 4 && m_bDataSent) {
      m_bAwaitSum = true;
    }
    m_strLast = str;
    return 1;
  }

  std::string ReceiveString(int n) override {
    if (Stopped()) std::abort();
    Step();
    if (n < 0 || n > kMaxReceive) std::abort();
    std::string str = Reply(n);
    if (static_cast<int>(str.size()) > n) std::abort();
    if (m_bAwaitSum) {
      if (str == "A2") m_confirmed[m_strController].insert(m_nPage);
      m_bAwaitSum = false;
      m_bDataSent = false;
    }
    return str;
  }

  void Purge() override { Step(); }
  void Close() override { ++m_nCloses; }

  // Asked by the stoppable link before and after every exchange.
  int StopRequest() const { return Stopped() ? 1 : 0; }

  std::map<std::string, std::set<int>> m_confirmed;  // controller -> pages answered "A2"
  std::vector<std::string> m_sends;
  int m_nOpens = 0;
  int m_nCloses = 0;
  int m_nExchanges = 0;

 private:
  bool Stopped() const { return m_nStopAt > 0 && m_nExchanges >= m_nStopAt; }

  // 670 pages at most (a 14x0 main controller and four channels), each at
  // most 3 sends and 3 receives, and a few more per controller. Anything
  // beyond means the command runs away.
  void Step() {
    if (++m_nExchanges > 6 * 700 + 100) std::abort();
  }

  std::string RightReply(int n) const {
    switch (n) {
      case 1: return "C";
      case 2: return m_strLast.size() == 512 ? "A1" : "A2";
      case 6: return m_strLast;
      case 7: return SelectionFamily(m_nSelection);
      case 8: return "02030000";
      case 9: return "QRT1230CH";
      default: return std::string(static_cast<std::size_t>(n), '?');
    }
  }

  std::string Reply(int n) {
    std::string str = RightReply(n).substr(0, static_cast<std::size_t>(n));
    if (m_bSilent) return "";
    if (m_nPos >= m_nSize) return str;  // healthy from here on
    const std::uint8_t c = m_pData[m_nPos++];
    if (c < 0x80) return str;
    if (c < 0xC0) return str.substr(0, (c & 0x3F) % (str.size() + 1));
    if (c == 0xFF) {
      m_bSilent = true;
      return "";
    }
    str.clear();
    while (static_cast<int>(str.size()) < n && m_nPos < m_nSize) str += static_cast<char>(m_pData[m_nPos++]);
    return str;
  }

  const std::uint8_t* m_pData;
  std::size_t m_nSize;
  std::size_t m_nPos = 0;
  int m_nSelection;
  int m_nStopAt;
  int m_nPage = 0;
  bool m_bAnnounced = false;
  bool m_bDataSent = false;
  bool m_bAwaitSum = false;
  bool m_bSilent = false;
  std::string m_strController;
  std::string m_strLast;
};

// What the transfer events claim.
class Claims : public TransferEvents {
 public:
  Claims() { AddTransferObserver(this); }
  ~Claims() override { RemoveTransferObserver(this); }
  void OnControllerStarted(const ControllerStartedEvent& e) override { m_pages[e.strController] = e.nPages; }
  void OnPage(const PageEvent& e) override {
    if (e.outcome == PageOutcome::Confirmed && !m_confirmed[e.strController].insert(e.nPage).second) std::abort();
  }
  void OnUpdateEnded(const UpdateEndedEvent& e) override {
    ++m_nEnded;
    m_nCode = e.nCode;
  }

  std::map<std::string, int> m_pages;                // controller -> pages announced
  std::map<std::string, std::set<int>> m_confirmed;  // controller -> pages the events call confirmed
  int m_nEnded = 0;
  std::int32_t m_nCode = -1;
};

struct Model {
  const char* pszName;
  int nSelection;
};
constexpr Model kModelsToClick[] = {
    {"QRT_Update_OP_FWV2.04", 1},
    {"QRT_Update_OP_FWV2.04", 2},
    {"QRT_Update_OP_FWV2.04", 3},
    {"QRT_Update_OP_FWV2.04", 4},
    {"QRT_Update_MURELL_FWV2.04", 4},
};

// The five containers, written once to a folder of this process's own that
// stays the current directory.
void PrepareContainersOnce() {
  static bool bDone = false;
  if (bDone) return;
  bDone = true;
  namespace fs = std::filesystem;
  static fs::path s_dir = fs::temp_directory_path() / ("qrt_update_fuzz_" + std::to_string(::getpid()));
  fs::create_directories(s_dir);
  fs::current_path(s_dir);
  for (const char* pszName : {"FW1A.qrt", "FW1C.qrt", "FW1E.qrt", "FW2A.qrt", "FW2B.qrt"}) {
    std::vector<char> bytes(kImageSize);
    for (int i = 0; i < kImageSize; ++i) bytes[static_cast<std::size_t>(i)] = static_cast<char>(i * 31 + pszName[3]);
    std::ofstream(pszName, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  std::atexit([] {
    std::error_code ec;
    fs::current_path(fs::temp_directory_path(), ec);
    fs::remove_all(s_dir, ec);
  });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize) {
  if (nSize < 2) return 0;
  PrepareContainersOnce();
  const Model& model = kModelsToClick[pData[0] % std::size(kModelsToClick)];
  const int nStopAt = pData[1] < 0x80 ? 0 : (pData[1] - 0x80) * 16 + 1;

  ui::MemoryFrontEnd fe;
  fw::SetFrontEnd(&fe);
  g_strModulePathOverride = model.pszName;
  fw::g_strAppName = AppNameOfPath(model.pszName);
  FuzzDevice device(pData + 2, nSize - 2, model.nSelection, nStopAt);
  std::int32_t nCode = 0;
  bool bSuccessBox = false;
  std::size_t nBoxes = 0;
  std::map<std::string, int> pagesAnnounced;
  std::map<std::string, std::set<int>> claimed;
  int nEnded = 0;
  std::int32_t nEndedCode = -1;
  int nChannels = 0;
  // The update record a console run would write, fed by the same events.
  ui::UpdateRecord record;
  AddTransferObserver(&record);
  {
    Claims claims;
    auto dlg = std::make_unique<UpdateDialog>();
    fe.Open(*dlg);
    dlg->m_linkFactory = StoppableLinkFactory(
        [&device](const LinkAddress&, const LinkResources&) { return std::make_unique<BorrowedLink>(device); },
        [&device] { return device.StopRequest(); });
    fe.Select(*dlg, IDC_INTERFACE, 0);  // COM1
    fe.Select(*dlg, IDC_DEVICE, model.nSelection);
    const ModelRow* pRow = FindModel(g_nBrand, model.nSelection);
    if (pRow == nullptr) std::abort();
    nChannels = ChannelCount(*pRow);
    fe.Click(*dlg, IDC_UPDATE);
    nCode = dlg->m_nError;
    for (const ui::RecordedBox& box : fe.m_boxes)
      bSuccessBox = bSuccessBox || box.text == "Firmware successfully updated! Please restart device!";
    nBoxes = fe.m_boxes.size();
    pagesAnnounced = claims.m_pages;
    claimed = claims.m_confirmed;
    nEnded = claims.m_nEnded;
    nEndedCode = claims.m_nCode;
    dlg.reset();
  }
  g_strModulePathOverride.clear();
  fw::SetFrontEnd(nullptr);
  RemoveTransferObserver(&record);
  record.Finish(nCode, device.StopRequest() != 0);

  // The record claims no more than the device confirmed: its confirmed
  // counts, its "ok" controllers and "updated" (only with code 0).
  {
    const nlohmann::ordered_json j = record.Json();
    if (j.at("code").get<int>() != nCode) std::abort();
    if (j.at("updated").get<bool>() && nCode != kResultOk) std::abort();
    for (const auto& c : j.at("controllers")) {
      const std::string strName = c.at("name").get<std::string>();
      const int nConfirmed = c.at("confirmed").get<int>();
      if (nConfirmed > static_cast<int>(device.m_confirmed[strName].size())) std::abort();
      if (c.at("result") == "ok" && nConfirmed != c.at("pages").get<int>()) std::abort();
    }
    if (record.Text().empty()) std::abort();
  }

  // The events never claim a page the device did not confirm.
  for (const auto& [strController, pages] : claimed) {
    const std::set<int>& confirmed = device.m_confirmed[strController];
    for (int nPage : pages)
      if (!confirmed.count(nPage)) std::abort();
  }
  if (nEnded != 1 || nEndedCode != nCode) std::abort();

  const bool bFwue = !device.m_sends.empty() && device.m_sends.back() == "FWUE";
  int nFwue = 0;
  for (const std::string& str : device.m_sends) nFwue += str == "FWUE";
  if (nCode == kResultOk) {
    // Success: every controller of the plan, every page confirmed, "FWUE"
    // once and last, and the success box the only one.
    if (static_cast<int>(pagesAnnounced.size()) != 1 + nChannels) std::abort();
    for (const auto& [strController, nPages] : pagesAnnounced) {
      if (static_cast<int>(device.m_confirmed[strController].size()) != nPages) std::abort();
      if (static_cast<int>(claimed[strController].size()) != nPages) std::abort();
    }
    if (!bFwue || nFwue != 1 || !bSuccessBox || nBoxes != 1) std::abort();
  } else {
    if (nFwue != 0 || bSuccessBox || nBoxes == 0) std::abort();
  }
  // Every open is closed again, also after a stop.
  if (device.m_nOpens > 0 && device.m_nCloses < 1) std::abort();
  return 0;
}
