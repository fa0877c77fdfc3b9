// The power supply's side of the update protocol; see SimEngine.h.
#include "sim/SimEngine.h"

#include <cstdio>
#include <utility>

#include "update/Models.h"

namespace sim {

namespace {

bool IsHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

unsigned HexValue(char c) {
  if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
  if (c >= 'A' && c <= 'F') return static_cast<unsigned>(c - 'A' + 10);
  return static_cast<unsigned>(c - 'a' + 10);
}

// Value of a run of hex characters (callers pass at most 8).
unsigned long HexNumber(const std::string& str, std::size_t nPos, std::size_t nCount) {
  unsigned long nValue = 0;
  for (std::size_t i = nPos; i < nPos + nCount && i < str.size(); ++i) nValue = nValue * 16 + HexValue(str[i]);
  return nValue;
}

char ToUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// The commands the device knows outside an exchange ("*IDN?" compared
// without regard to letter case).
const char* const kCommands[] = {"FWU0", "FWU1", "FWU2", "FWU3", "FWU4", "FWUE", "*IDN?"};

// str matches the start of command strCmd.
bool MatchesStart(const std::string& str, const std::string& strCmd) {
  if (str.size() > strCmd.size()) return false;
  // Only the identification query is case-blind.
  bool bCaseBlind = strCmd[0] == '*';
  for (std::size_t i = 0; i < str.size(); ++i) {
    if ((bCaseBlind ? ToUpper(str[i]) : str[i]) != strCmd[i]) return false;
  }
  return true;
}

bool IsCommandPrefix(const std::string& str) {
  for (const char* pszCmd : kCommands) {
    if (MatchesStart(str, pszCmd)) return true;
  }
  return false;
}

bool IsCompleteCommand(const std::string& str) {
  for (const char* pszCmd : kCommands) {
    std::string strCmd(pszCmd);
    if (str.size() == strCmd.size() && MatchesStart(str, strCmd)) return true;
  }
  return false;
}

// A wrong echo of the same length as the right one: its last digit changed.
std::string Altered(const std::string& str) {
  if (str.empty()) return "0";
  std::string strOut = str;
  strOut.back() = (strOut.back() == '0') ? '1' : '0';
  return strOut;
}

constexpr std::size_t kAnnounceChars = 6;
constexpr std::size_t kAddressChars = 6;
constexpr std::size_t kDataChars = 512;
constexpr std::size_t kChecksumChars = 4;
constexpr std::size_t kPageBytes = 256;

}  // namespace

std::string ControllerName(int nController) {
  if (nController == kMain) return "main";
  return "ch" + std::to_string(nController);
}

int ParseFault(const std::string& strText, Fault& fault, std::string& strError) {
  fault = Fault();
  std::string strRest = strText;
  std::size_t nEq = strRest.find('=');
  if (nEq != std::string::npos) {
    fault.bHasValue = true;
    fault.strValue = strRest.substr(nEq + 1);
    strRest.erase(nEq);
  }
  std::size_t nColon = strRest.find(':');
  if (nColon == std::string::npos) {
    strError = "fault '" + strText + "': expected TARGET:KIND (e.g. main:e2@5)";
    return 0;
  }
  std::string strTarget = strRest.substr(0, nColon);
  std::string strKind = strRest.substr(nColon + 1);
  if (strTarget == "main") {
    fault.nController = kMain;
  } else if (strTarget.size() == 3 && strTarget.compare(0, 2, "ch") == 0 && strTarget[2] >= '1' &&
             strTarget[2] <= '4') {
    fault.nController = strTarget[2] - '0';
  } else {
    strError = "fault '" + strText + "': target must be main or ch1..ch4";
    return 0;
  }
  std::size_t nAt = strKind.find('@');
  bool bHasPage = nAt != std::string::npos;
  if (bHasPage) {
    std::string strPage = strKind.substr(nAt + 1);
    strKind.erase(nAt);
    if (strPage.empty() || strPage.size() > 5 || strPage.find_first_not_of("0123456789") != std::string::npos ||
        std::stoi(strPage) < 1) {
      strError = "fault '" + strText + "': page after @ must be a number from 1";
      return 0;
    }
    fault.nPage = std::stoi(strPage);
  }
  static const std::pair<const char*, FaultKind> kKinds[] = {
      {"ident", FaultKind::Ident},   {"silent", FaultKind::Silent}, {"announce", FaultKind::Announce},
      {"addr", FaultKind::Address},  {"noa1", FaultKind::NoA1},     {"e2", FaultKind::E2},
      {"badsum", FaultKind::BadSum}, {"noclose", FaultKind::NoClose}, {"hangup", FaultKind::HangUp},
      {"late", FaultKind::Late},     {"slow", FaultKind::Slow}};
  bool bFound = false;
  for (const auto& kind : kKinds) {
    if (strKind == kind.first) {
      fault.kind = kind.second;
      bFound = true;
    }
  }
  if (!bFound) {
    strError = "fault '" + strText + "': unknown kind '" + strKind +
               "' (ident, silent, announce, addr, noa1, e2, badsum, noclose, hangup, late, slow)";
    return 0;
  }
  bool bPerPage = fault.kind == FaultKind::Address || fault.kind == FaultKind::NoA1 ||
                  fault.kind == FaultKind::E2 || fault.kind == FaultKind::BadSum;
  const bool bDelay = fault.kind == FaultKind::Late || fault.kind == FaultKind::Slow;
  if (bDelay && (!fault.bHasValue || fault.strValue.empty() || fault.strValue.size() > 5 ||
                 fault.strValue.find_first_not_of("0123456789") != std::string::npos ||
                 std::stoul(fault.strValue) < 1 || std::stoul(fault.strValue) > 60000)) {
    strError = "fault '" + strText + "': the delay after = must be 1 to 60000 milliseconds";
    return 0;
  }
  if (bPerPage && !bHasPage) fault.nPage = 1;
  if (bHasPage && !bPerPage && fault.kind != FaultKind::Silent && !bDelay) {
    strError = "fault '" + strText + "': this kind takes no page";
    return 0;
  }
  if (fault.kind == FaultKind::NoClose && fault.nController == kMain) {
    strError = "fault '" + strText + "': only a channel controller sends a closing character";
    return 0;
  }
  return 1;
}

int ControllerRecord::PagesReceived() const {
  int n = 0;
  for (const PageRecord& page : pages) n += page.bHasData ? 1 : 0;
  return n;
}

bool ControllerRecord::AddressesInOrder() const {
  for (std::size_t p = 0; p < pages.size(); ++p) {
    const std::string& str = pages[p].strAddress;
    if (str.size() != kAddressChars || HexNumber(str, 0, kAddressChars) != p * kPageBytes) return false;
  }
  return true;
}

bool ControllerRecord::AllPagesOk() const {
  if (nAnnounced < 0 || pages.size() != static_cast<std::size_t>(nAnnounced) || !AddressesInOrder()) return false;
  for (const PageRecord& page : pages) {
    if (!page.bHasData || page.strDataReply != "A1" || !page.bSumOk || page.strSumReply != "A2") return false;
  }
  return true;
}

std::vector<std::uint8_t> ControllerRecord::Data() const {
  std::vector<std::uint8_t> data;
  for (const PageRecord& page : pages) {
    if (page.bHasData) data.insert(data.end(), page.data.begin(), page.data.end());
  }
  return data;
}

SimEngine::SimEngine(SimConfig config) : m_config(std::move(config)) {
  if (m_config.nChannels < 0) m_config.nChannels = 0;
  if (m_config.nChannels > kMaxChannels) m_config.nChannels = kMaxChannels;
}

std::string SimEngine::TakeOutput(std::vector<unsigned>* pDelaysMs) {
  std::string str;
  str.swap(m_strOut);
  if (pDelaysMs) *pDelaysMs = std::move(m_delaysMs);
  m_delaysMs.clear();
  return str;
}

// The delay fault of this kind for the page in progress (or the whole
// exchange), in milliseconds; 0 when none.
unsigned SimEngine::DelayMs(FaultKind kind) const {
  if (m_nActive < 0) return 0;
  const bool bInPage = m_stage == Stage::Address || m_stage == Stage::Data || m_stage == Stage::Checksum;
  const Fault* pFault = bInPage ? FindFault(kind, m_nPage + 1) : nullptr;
  if (!pFault) pFault = FindFault(kind, 0);
  return pFault ? static_cast<unsigned>(std::stoul(pFault->strValue)) : 0;
}

void SimEngine::Emit(const std::string& str) {
  if (m_bMute || str.empty()) return;
  const unsigned nSlow = DelayMs(FaultKind::Slow);
  m_strOut += str;
  m_delaysMs.push_back(DelayMs(FaultKind::Late) + nSlow);
  m_delaysMs.insert(m_delaysMs.end(), str.size() - 1, nSlow);
}

void SimEngine::NoteGarbage(long n) {
  m_nGarbage += n;
  m_nGarbageRun += n;
}

const Fault* SimEngine::FindFault(FaultKind kind, int nPage) const {
  for (const Fault& fault : m_config.faults) {
    if (fault.nController == m_nActive && fault.kind == kind && fault.nPage == nPage) return &fault;
  }
  return nullptr;
}

const ControllerRecord& SimEngine::Controller(int nController) const {
  if (nController < 0 || nController >= kControllers) nController = kMain;
  return m_records[nController];
}

std::vector<std::string> SimEngine::Commands() const {
  std::vector<std::string> commands = m_commands;
  if (m_nGarbageRun > 0) commands.push_back("garbage " + std::to_string(m_nGarbageRun));
  if (m_stage != Stage::Command && m_nActive >= 0) {
    commands.push_back("pages " + ControllerName(m_nActive) + " " +
                       std::to_string(m_records[m_nActive].PagesReceived()));
  }
  if (m_strCmd == "FWU") commands.push_back("FWU");
  return commands;
}

void SimEngine::Receive(const void* pData, std::size_t nLength) {
  const char* p = static_cast<const char*>(pData);
  for (std::size_t i = 0; i < nLength; ++i) Receive(p[i]);
}

void SimEngine::Receive(char c) {
  ++m_nReceived;
  m_nReceivedDigest = (m_nReceivedDigest ^ static_cast<std::uint8_t>(c)) * 0x100000001b3u;  // FNV-1a prime
  if (m_stage == Stage::Command) {
    ReceiveCommandByte(c);
    return;
  }
  if (!IsHex(c)) {
    // The PC has left the exchange (a new command, or noise): stop it and
    // read what came as the start of a command.
    std::string strPending = m_strField;
    m_strField.clear();
    EndExchange(EndKind::Abandoned);
    for (char cPending : strPending) ReceiveCommandByte(cPending);
    ReceiveCommandByte(c);
    return;
  }
  m_strField += c;
  std::size_t nWant = kAnnounceChars;
  if (m_stage == Stage::Address) nWant = kAddressChars;
  if (m_stage == Stage::Data) nWant = kDataChars;
  if (m_stage == Stage::Checksum) nWant = kChecksumChars;
  if (m_strField.size() == nWant) FieldComplete();
}

void SimEngine::ReceiveCommandByte(char c) {
  m_strCmd += c;
  MatchCommand();
}

void SimEngine::MatchCommand() {
  while (!m_strCmd.empty()) {
    if (m_strCmd == "FWU" && m_nSelected != 0) {
      m_strCmd.clear();
      RunCommand("FWU");
      return;
    }
    if (IsCompleteCommand(m_strCmd)) {
      std::string strCmd;
      strCmd.swap(m_strCmd);
      RunCommand(strCmd);
      return;
    }
    if (IsCommandPrefix(m_strCmd) || m_strCmd == "FWU") return;
    if (m_strCmd.size() > 3 && m_strCmd.compare(0, 3, "FWU") == 0) {
      // "FWU" followed by something that completes no command: a bare "FWU".
      std::string strRest = m_strCmd.substr(3);
      m_strCmd.clear();
      RunCommand("FWU");
      for (char c : strRest) ReceiveCommandByte(c);
      return;
    }
    m_strCmd.erase(0, 1);
    NoteGarbage(1);
  }
}

void SimEngine::Idle() {
  if (m_stage == Stage::Command && m_strCmd == "FWU") {
    m_strCmd.clear();
    RunCommand("FWU");
  }
}

void SimEngine::RunCommand(const std::string& strCmd) {
  if (m_nGarbageRun > 0) {
    m_commands.push_back("garbage " + std::to_string(m_nGarbageRun));
    m_nGarbageRun = 0;
  }
  if (strCmd.size() == 5) {  // *idn?
    m_commands.push_back("*idn?");
    ++m_nIdn;
    m_nSelected = 0;
    Emit(m_config.strIdn);
    return;
  }
  m_commands.push_back(strCmd);
  if (strCmd == "FWU0") {
    m_nSelected = 0;
    StartExchange(kMain);
  } else if (strCmd == "FWUE") {
    m_nSelected = 0;
    ++m_nFwue;
  } else if (strCmd == "FWU") {
    int nChannel = m_nSelected;
    m_nSelected = 0;
    if (nChannel > 0) StartExchange(nChannel);
  } else {
    int nChannel = strCmd[3] - '0';
    m_nSelected = (nChannel <= m_config.nChannels) ? nChannel : -1;
  }
}

void SimEngine::StartExchange(int nController) {
  m_nActive = nController;
  ControllerRecord& rec = m_records[nController];
  int nStarts = rec.nStarts + 1;
  rec = ControllerRecord();
  rec.nStarts = nStarts;
  m_nPage = 0;
  m_strField.clear();
  m_stage = Stage::Announce;
  m_bMute = FindFault(FaultKind::Silent, 0) != nullptr;
  const Fault* pIdent = FindFault(FaultKind::Ident, 0);
  std::string strIdent;
  if (nController == kMain) {
    strIdent = pIdent ? (pIdent->bHasValue ? pIdent->strValue : "QRT0000") : m_config.strIdent;
    Emit(strIdent + m_config.strMainVersion);
  } else {
    strIdent = pIdent ? (pIdent->bHasValue ? pIdent->strValue : "QRT0000CH") : kChannelId;
    const std::string& strVersion = m_config.strChannelVersions[nController];
    Emit(strIdent + (strVersion.empty() ? m_config.strChannelVersion : strVersion));
  }
}

void SimEngine::FieldComplete() {
  ControllerRecord& rec = m_records[m_nActive];
  std::string strField;
  strField.swap(m_strField);
  int nPage1 = m_nPage + 1;
  switch (m_stage) {
    case Stage::Announce: {
      rec.strAnnounce = strField;
      rec.nAnnounced = static_cast<int>(HexNumber(strField, 0, 4));
      const Fault* pFault = FindFault(FaultKind::Announce, 0);
      Emit(pFault ? (pFault->bHasValue ? pFault->strValue : Altered(strField)) : strField);
      if (rec.nAnnounced == 0) {
        EndExchange(EndKind::Natural);
      } else {
        m_stage = Stage::Address;
      }
      break;
    }
    case Stage::Address: {
      PageRecord page;
      page.strAddress = strField;
      rec.pages.push_back(page);
      if (FindFault(FaultKind::Silent, nPage1)) m_bMute = true;
      const Fault* pFault = FindFault(FaultKind::Address, nPage1);
      if (pFault) {
        // The PC stops at a wrong echo.
        Emit(pFault->bHasValue ? pFault->strValue : Altered(strField));
        EndExchange(EndKind::Stopped);
      } else {
        Emit(strField);
        m_stage = Stage::Data;
      }
      break;
    }
    case Stage::Data: {
      PageRecord& page = rec.pages.back();
      page.bHasData = true;
      page.data.resize(kPageBytes);
      page.nSum = 0;
      for (std::size_t i = 0; i < kPageBytes; ++i) {
        page.data[i] = static_cast<std::uint8_t>(HexValue(strField[2 * i]) * 16 + HexValue(strField[2 * i + 1]));
        page.nSum += page.data[i];
      }
      const Fault* pFault = FindFault(FaultKind::NoA1, nPage1);
      page.strDataReply = pFault ? (pFault->bHasValue ? pFault->strValue : "E1") : "A1";
      Emit(page.strDataReply);
      if (page.strDataReply == "A1") {
        m_stage = Stage::Checksum;
      } else {
        NextPage();  // the PC sends no checksum for this page
      }
      break;
    }
    case Stage::Checksum: {
      PageRecord& page = rec.pages.back();
      page.strChecksum = strField;
      page.bSumOk = HexNumber(strField, 0, kChecksumChars) == page.nSum;
      const Fault* pE2 = FindFault(FaultKind::E2, nPage1);
      const Fault* pBad = FindFault(FaultKind::BadSum, nPage1);
      if (pE2) {
        page.strSumReply = pE2->bHasValue ? pE2->strValue : "E2";
      } else if (pBad) {
        page.strSumReply = pBad->bHasValue ? pBad->strValue : "X2";
      } else {
        page.strSumReply = page.bSumOk ? "A2" : "E2";
      }
      Emit(page.strSumReply);
      if (page.strSumReply == "E2" || pE2) {
        EndExchange(EndKind::Stopped);  // the PC stops at "E2"
      } else {
        NextPage();
      }
      break;
    }
    case Stage::Command:
      break;
  }
}

void SimEngine::NextPage() {
  ++m_nPage;
  if (m_nPage >= m_records[m_nActive].nAnnounced) {
    EndExchange(EndKind::Natural);
  } else {
    m_stage = Stage::Address;
  }
}

void SimEngine::EndExchange(EndKind end) {
  if (m_nActive < 0) {
    m_stage = Stage::Command;
    return;
  }
  ControllerRecord& rec = m_records[m_nActive];
  rec.bFinished = end == EndKind::Natural;
  m_commands.push_back("pages " + ControllerName(m_nActive) + " " + std::to_string(rec.PagesReceived()));
  // A channel controller closes its page loop with one character, also when
  // it stopped the loop itself; not when the PC walked away.
  if (m_nActive != kMain && end != EndKind::Abandoned && !FindFault(FaultKind::NoClose, 0) && !m_bMute) {
    Emit(std::string(1, m_config.cClose));
    rec.bClosed = true;
  }
  if (FindFault(FaultKind::HangUp, 0)) m_bHungUp = true;
  m_stage = Stage::Command;
  m_nActive = -1;
  m_bMute = false;
  m_strField.clear();
}

}  // namespace sim
