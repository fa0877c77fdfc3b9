// Fuzzes the page transfer (main and channel profiles) against arbitrary
// device replies. A scripted host stands for the window and the device: the
// input's first bytes choose the profile, the page count and the device-list
// selection; every later byte steers one reply:
//   0x00-0x7F  the right reply (identification, version, echo, "A1", "A2", closing)
//   0x80-0xBF  the right reply cut short (low bits: how many characters are left)
//   0xC0-0xFF  raw: the next n input bytes as they are
// and once the input is used up the device is silent. Invariants, checked
// with abort(): the transfer ends within a bounded number of exchanges,
// touches nothing outside its buffers (AddressSanitizer), keeps its progress
// in range, and finishes with code 0 (and its success line) only when every
// page's checksum was answered "A2".
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "update/PageTransfer.h"

namespace {

class ScriptedHost : public DeviceLink, public TransferWindow {
 public:
  ScriptedHost(const std::uint8_t* pData, std::size_t nSize, int nPages, int nSelection)
      : m_pData(pData), m_nSize(nSize), m_nPages(nPages), m_nSelection(nSelection) {
    m_sumReply.resize(static_cast<std::size_t>(nPages));
  }

  int Open(const LinkSettings&) override { return 1; }
  int SendByte(char ch) override { return SendString(std::string(1, ch)); }
  void Close() override {}
  int SendString(const std::string& str) override {
    Step();
    if (str.size() == 512) {
      m_bDataSent = true;
    } else if (str.size() == 6 && m_bAnnounced) {
      m_nPage = static_cast<int>(std::strtoul(str.c_str(), nullptr, 16) / 256);
      if (m_nPage < 0 || m_nPage >= m_nPages) std::abort();  // only pages of the profile
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
    Step();
    if (n < 0 || n > 49) std::abort();
    std::string str = Reply(n);
    if (static_cast<int>(str.size()) > n) std::abort();
    if (m_bAwaitSum) {
      m_sumReply[static_cast<std::size_t>(m_nPage)] = str;
      m_bAwaitSum = false;
      m_bDataSent = false;
    }
    return str;
  }

  void Purge() override { Step(); }
  void Pause() { Step(); }
  void ListInsert(const std::string& line) override {
    Step();
    m_lines.push_back(line);
  }
  void ProgressRange(int lower, int upper) override {
    m_nLower = lower;
    m_nUpper = upper;
  }
  void ProgressPos(int pos) override {
    if (pos < m_nLower || pos > m_nUpper) std::abort();
  }
  void Message(const std::string& text, UpdateMsgIcon) override { m_messages.push_back(text); }
  void RefreshNow() override {}
  void UpdateControls() override {}
  void UpdateFields() override {}

  std::vector<std::string> m_sumReply;  // per page: the reply to its checksum
  std::vector<std::string> m_lines;
  std::vector<std::string> m_messages;

 private:
  // Every page costs at most 3 sends, 3 receives and a list line; the rest
  // is a handful of steps. Anything beyond means the transfer runs away.
  void Step() {
    if (++m_nSteps > 8 * m_nPages + 40) std::abort();
  }

  std::string RightReply(int n) const {
    switch (n) {
      case 1: return "C";
      case 2: return m_strLast.size() == 512 ? "A1" : "A2";
      case 6: return m_strLast;
      case 7: return MainFamilyId(m_nSelection);
      case 8: return "02030000";
      case 9: return "QRT1230CH";
      default: return std::string(static_cast<std::size_t>(n), '?');
    }
  }

  std::string Reply(int n) {
    if (m_nPos >= m_nSize) return "";  // silence
    const std::uint8_t c = m_pData[m_nPos++];
    std::string str = RightReply(n).substr(0, static_cast<std::size_t>(n));
    if (c < 0x80) return str;
    if (c < 0xC0) return str.substr(0, (c & 0x3F) % (str.size() + 1));
    str.clear();
    while (static_cast<int>(str.size()) < n && m_nPos < m_nSize) str += static_cast<char>(m_pData[m_nPos++]);
    return str;
  }

  const std::uint8_t* m_pData;
  std::size_t m_nSize;
  std::size_t m_nPos = 0;
  int m_nPages;
  int m_nSelection;
  int m_nSteps = 0;
  int m_nPage = 0;
  int m_nLower = 0;
  int m_nUpper = -1;
  bool m_bAnnounced = false;
  bool m_bDataSent = false;
  bool m_bAwaitSum = false;
  std::string m_strLast;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize) {
  if (nSize < 2) return 0;
  // Byte 0: profile (bit 0), channel index or device selection (bits 1-3),
  // announcement flag (bit 4). Byte 1: page count, 1 to 16, or beyond the
  // image's 500 pages for 0xFF.
  const bool bChannel = (pData[0] & 1) != 0;
  const int nIndex = (pData[0] >> 1) & 7;
  const int nFlag = (pData[0] >> 4) & 1;
  const int nPages = pData[1] == 0xFF ? 503 : pData[1] % 16 + 1;
  const int nSent = nPages < kImagePages ? nPages : kImagePages;
  const TransferProfile profile =
      bChannel ? ChannelTransferProfile(nIndex, nPages, nFlag) : MainTransferProfile(nPages, nFlag, MainFamilyId(nIndex));

  auto image = std::make_unique<FirmwareImage>();
  for (int i = 0; i < kImageSize; ++i) image->m_image[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i * 31);
  ScriptedHost host(pData + 2, nSize - 2, nSent, bChannel ? 4 : nIndex);
  TransferEvents silent;
  UpdateHost transfer{host, [&host](unsigned) { host.Pause(); }, host, silent};
  std::int32_t nError = 0;
  RunPageTransfer(transfer, profile, *image, nError);

  const bool bSuccessLine = !host.m_lines.empty() && host.m_lines.back() == profile.strSuccess;
  if (nError == kTransferOk) {
    for (const std::string& strReply : host.m_sumReply) {
      if (strReply != "A2") std::abort();  // success without every checksum confirmed
    }
    if (!bSuccessLine || !host.m_messages.empty()) std::abort();
  } else if (bSuccessLine || host.m_messages.empty()) {
    std::abort();  // a failure must be told, and never as a success
  }
  return 0;
}
