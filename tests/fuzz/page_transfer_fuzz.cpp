// Fuzzes the whole update command (the update button of the main window in
// the in-memory front end) against arbitrary device replies: the main
// controller and every channel of the chosen model, through "FWUE". The
// containers are written once to a work folder; each input then clicks the
// button with a scripted device in the window's link factory, wrapped in the
// link a stop signal cuts off (as the console program runs it).
//
// The folder holds the bundle's SHA256SUMS beside the containers, so every
// update checks each container against it before the port opens and at each
// load.
//
// Input: byte 0 chooses the model (the five rows of the plan, value mod 5)
// and, one value in sixteen of the rest (value / 5 mod 16 = 15), a list whose
// FW2B.qrt line has a wrong digest; byte 1 the device exchange after which a
// stop is asked (0: never); every later byte steers one reply:
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
// What was sent is what the containers hold: every page's data is the
// 256 bytes of its controller's container at the address sent before it,
// that address a page's within the pages the plan sends, the checksum the
// data's byte sum, and a successful controller got each page once, in order.
// A container the list does not match is never sent: the update ends with
// code 7 before the port opens.
// The update record the console would write from the same events claims no
// more: its confirmed counts never exceed the pages answered "A2", an "ok"
// controller has all its pages confirmed, and "updated" only comes with
// code 0.
#include <algorithm>
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
#include "image/ChecksumList.h"
#include "platform/digest.h"
#include "platform/platform.h"
#include "tests/update/BorrowedLink.h"
#include "ui/console/lib/UpdateRecord.h"
#include "ui/memory/MemoryFrontEnd.h"
#include "update/PageTransfer.h"
#include "common/ResultCodes.h"
#include "update/Models.h"
#include "update/TransferEvents.h"

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
      m_pages[m_strController].push_back({m_strAddress, str, ""});
    } else if (str.size() == 6 && m_bAnnounced) {
      m_nPage = static_cast<int>(std::strtoul(str.c_str(), nullptr, 16) / 256) + 1;
      m_strAddress = str;
      m_bDataSent = false;
    } else if (str.size() == 6) {
      m_bAnnounced = true;
    } else if (str.size() == 4 && m_bDataSent) {
      m_bAwaitSum = true;
      m_pages[m_strController].back().strSum = str;
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

  // One page as it went out: the address sent before it, its data and checksum.
  struct SentPage {
    std::string strAddress;
    std::string strData;
    std::string strSum;
  };
  std::map<std::string, std::set<int>> m_confirmed;  // controller -> pages answered "A2"
  std::map<std::string, std::vector<SentPage>> m_pages;  // controller -> pages sent, in order
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
  std::string m_strAddress;
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

// The five containers' bytes, by file name.
std::map<std::string, std::string> g_containers;

// The list as sha256sum writes it; with bWrongFw2b, FW2B.qrt's digest has
// one digit changed. Written only when it changes.
void WriteChecksumList(bool bWrongFw2b) {
  static int s_nWritten = -1;
  if (s_nWritten == static_cast<int>(bWrongFw2b)) return;
  s_nWritten = bWrongFw2b;
  std::string strList;
  for (const auto& [strName, strBytes] : g_containers) {
    platform::Sha256Digest digest{};
    if (platform::Sha256Of(strBytes.data(), strBytes.size(), digest) != 1) std::abort();
    std::string strHex = platform::Sha256Hex(digest);
    if (bWrongFw2b && strName == "FW2B.qrt") strHex[10] = strHex[10] == '0' ? '1' : '0';
    strList += strHex + "  " + strName + "\n";
  }
  std::ofstream out(kChecksumListName, std::ios::binary | std::ios::trunc);
  out << strList;
  if (!out) std::abort();
}

// The five containers, written once to a folder of this process's own that
// stays the current directory, with their list.
void PrepareContainersOnce() {
  static bool bDone = false;
  if (bDone) return;
  bDone = true;
  namespace fs = std::filesystem;
  static fs::path s_dir = fs::temp_directory_path() / ("qrt_update_fuzz_" + std::to_string(::getpid()));
  fs::create_directories(s_dir);
  fs::current_path(s_dir);
  for (const ContainerInfo& container : kFirmwareContainers) {
    // Every page of every container different, so that a page sent from
    // the wrong place or the wrong container shows.
    std::string bytes(kImageSize, '\0');
    const int nSeed = container.pszFile[3] * 7 + container.pszFile[4];
    for (int i = 0; i < kImageSize; ++i)
      bytes[static_cast<std::size_t>(i)] = static_cast<char>(i * 31 + i / kPageSize + nSeed);
    std::ofstream(container.pszFile, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    g_containers[container.pszFile] = bytes;
  }
  WriteChecksumList(false);
  std::atexit([] {
    std::error_code ec;
    fs::current_path(fs::temp_directory_path(), ec);
    fs::remove_all(s_dir, ec);
  });
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The bytes a string of hex digit pairs spells; false if it holds anything else.
bool Unhex(const std::string& str, std::string& bytes) {
  bytes.clear();
  if (str.size() % 2) return false;
  for (std::size_t i = 0; i < str.size(); i += 2) {
    const int hi = HexValue(str[i]), lo = HexValue(str[i + 1]);
    if (hi < 0 || lo < 0) return false;
    bytes += static_cast<char>(hi * 16 + lo);
  }
  return true;
}

// Controller name -> the container its steps load last before it, by the
// plan of the row.
std::map<std::string, std::string> ContainerOfController(const ModelRow& row) {
  std::map<std::string, std::string> result;
  const char* pszLoaded = "";
  for (const PlanStep& step : row.steps) {
    if (step.kind == PlanStepKind::End) break;
    if (step.kind == PlanStepKind::Load) pszLoaded = step.pszFile;
    if (step.kind == PlanStepKind::Main) result["main"] = pszLoaded;
    if (step.kind == PlanStepKind::Channel) result["ch" + std::to_string(step.nChannel + 1)] = pszLoaded;
  }
  return result;
}

// Every page sent is its container's page at the address sent before it,
// with its byte sum as checksum; with bComplete each controller of the plan
// got each of its pages once, in order.
void CheckPagesSent(const FuzzDevice& device, const ModelRow& row, bool bComplete) {
  const std::map<std::string, std::string> plan = ContainerOfController(row);
  for (const auto& [strController, pages] : device.m_pages) {
    auto it = plan.find(strController);
    if (it == plan.end()) std::abort();  // data for a controller the plan does not flash
    const std::string& strContainer = g_containers.at(it->second);
    const int nPages = FindContainer(it->second)->nPages;
    std::string bytes, address;
    for (const FuzzDevice::SentPage& page : pages) {
      if (!Unhex(page.strAddress, address) || address.size() != 3) std::abort();
      const std::size_t nAddress = static_cast<unsigned char>(address[0]) * 65536u +
                                   static_cast<unsigned char>(address[1]) * 256u + static_cast<unsigned char>(address[2]);
      if (nAddress % kPageSize != 0 || nAddress >= static_cast<std::size_t>(nPages) * kPageSize) std::abort();
      if (!Unhex(page.strData, bytes) || bytes != strContainer.substr(nAddress, kPageSize)) std::abort();
      unsigned nSum = 0;
      for (char c : bytes) nSum += static_cast<unsigned char>(c);
      std::string strSum;
      if (!page.strSum.empty() && (!Unhex(page.strSum, strSum) ||
                                   static_cast<unsigned char>(strSum[0]) * 256u + static_cast<unsigned char>(strSum[1]) != nSum))
        std::abort();
    }
  }
  if (!bComplete) return;
  for (const auto& [strController, strFile] : plan) {
    auto it = device.m_pages.find(strController);
    const int nPages = FindContainer(strFile)->nPages;
    if (it == device.m_pages.end() || static_cast<int>(it->second.size()) != nPages) std::abort();
    for (int p = 0; p < nPages; ++p) {
      char szAddress[16];
      std::snprintf(szAddress, sizeof szAddress, "%06X", static_cast<unsigned>(p * kPageSize));
      if (it->second[static_cast<std::size_t>(p)].strAddress != szAddress) std::abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize) {
  if (nSize < 2) return 0;
  PrepareContainersOnce();
  const Model& model = kModelsToClick[pData[0] % std::size(kModelsToClick)];
  const bool bWrongList = (pData[0] / std::size(kModelsToClick)) % 16 == 15;
  WriteChecksumList(bWrongList);
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
  const ModelRow* pRow = nullptr;
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
    pRow = FindModel(g_nBrand, model.nSelection);
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

  CheckPagesSent(device, *pRow, nCode == kResultOk);
  // A container the list does not match never reaches the device: the
  // update ends before the port opens.
  const auto plan = ContainerOfController(*pRow);
  const bool bUsesFw2b = std::any_of(plan.begin(), plan.end(), [](const auto& c) { return c.second == "FW2B.qrt"; });
  if (bWrongList && bUsesFw2b && (nCode != kErrorContainerMissing || device.m_nOpens != 0 || !device.m_sends.empty()))
    std::abort();
  return 0;
}
