// Several COM ports in one update: the program starts itself once per port,
// each child an ordinary single-port run with the same options, its JSON
// Lines stream on a pipe and its update record in a private folder. The
// parent passes a stop on to every child and follows them to their ends.
#include "ui/console/lib/ConsoleMulti.h"

#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>

#include "platform/ports.h"
#include "platform/signals.h"
#include "ui/console/lib/Console.h"

namespace ui {

namespace {

// A child that does not end within this time after a stop was passed on is
// killed: its port is then reported lost, not waited for for ever.
constexpr auto kStopGrace = std::chrono::seconds(30);

// A folder only this user can read, for the children's records.
std::string MakePrivateFolder(std::string* pstrError) {
  std::error_code ec;
  const std::filesystem::path base = std::filesystem::temp_directory_path(ec);
  if (ec) {
    *pstrError = "no temporary folder: " + ec.message();
    return "";
  }
  std::random_device rd;
  for (int nTry = 0; nTry < 16; ++nTry) {
    char szName[32];
    std::snprintf(szName, sizeof szName, "qrtupdate-%08x%08x", rd(), rd());
    const std::filesystem::path dir = base / szName;
    if (std::filesystem::create_directory(dir, ec)) {
      std::filesystem::permissions(dir, std::filesystem::perms::owner_all, ec);
      return dir.string();
    }
  }
  *pstrError = base.string() + ": " + (ec ? ec.message() : "no free name");
  return "";
}

// The single-port command line of one port: the same options and actions
// in the same order, that port alone as the interface, the JSON stream and
// the record asked for. -C is left out: the child starts in the folder the
// parent has moved to already.
std::vector<std::string> ChildArgs(const ConsoleOptions& o, const std::string& strPort, const std::string& strReport) {
  std::vector<std::string> r;
  bool bInterface = false;
  for (std::size_t i = 0; i < o.args.size(); ++i) {
    const std::string& a = o.args[i];
    const bool bHasValue = i + 1 < o.args.size();
    if (a == "--interface") {
      ++i;
      if (!bInterface) r.insert(r.end(), {"--interface", strPort});
      bInterface = true;
    } else if (a == "--report" || a == "-C") {
      ++i;
    } else if (a == "--json") {
    } else if ((a == "--as" || a == "--device") && bHasValue) {
      r.insert(r.end(), {a, o.args[++i]});
    } else {
      r.push_back(a);
    }
  }
  r.insert(r.end(), {"--json", "--report", strReport});
  return r;
}

// Splits what arrived into whole lines; the rest waits in strPending.
std::vector<std::string> TakeLines(std::string& strPending, const std::string& strNew, bool bEnd) {
  strPending += strNew;
  std::vector<std::string> lines;
  std::size_t nStart = 0;
  for (std::size_t n; (n = strPending.find('\n', nStart)) != std::string::npos; nStart = n + 1)
    lines.push_back(strPending.substr(nStart, n - nStart));
  strPending.erase(0, nStart);
  if (bEnd && !strPending.empty()) lines.push_back(std::exchange(strPending, {}));
  for (std::string& s : lines)
    if (!s.empty() && s.back() == '\r') s.pop_back();
  return lines;
}

}  // namespace

std::string PortRecordName(std::size_t nIndex) { return "port-" + std::to_string(nIndex + 1) + ".json"; }

int ConsoleFrontEnd::RunSeveral(const ConsoleOptions& options) {
  m_bSeveral = true;
  return SeveralPorts(*this, options).Run();
}

SeveralPorts::SeveralPorts(ConsoleFrontEnd& front, const ConsoleOptions& options) : m_front(front), m_options(options) {
  for (const std::string& strName : options.interfaces) {
    auto p = std::make_unique<PortRun>();
    p->strName = strName;
    p->strPath = platform::ComPortPath(InterfaceIndex(strName) + 1);
    m_ports.push_back(std::move(p));
  }
  const bool bBlock = front.m_bProgressBar && front.m_bTerminalSequences;
  m_pDisplay = std::make_unique<PortDisplay>(front.m_out, front.m_err, m_ports, bBlock, front.m_bOutTerminal);
}

SeveralPorts::~SeveralPorts() {
  if (m_strFolder.empty()) return;
  std::error_code ec;
  std::filesystem::remove_all(m_strFolder, ec);
}

int SeveralPorts::Run() {
  StartPorts();
  Supervise();
  EndPorts();
  MergeRecords();
  // A stop that came when every port had written its closing command cut
  // nothing short: each child ended as it would have without it.
  const int nStatus = ExitStatus();
  if (m_front.StopNoted() && nStatus == 0) {
    m_front.ReportLateStop();
    return 0;
  }
  if (m_front.StopNoted()) {
    const std::string strLine = std::string("stopped by ") + platform::StopSignalName() +
                                ": each port's line says where it stopped; a port not done needs a complete update";
    m_front.m_err << "qrtupdate: " << strLine << "\n";
    m_front.m_err.flush();
    m_front.NoteReason(ExitStatusOfStop(m_front.m_nStopSignal), strLine);
    return ExitStatusOfStop(m_front.m_nStopSignal);
  }
  return nStatus;
}

void SeveralPorts::StartPorts() {
  std::string strError;
  m_strFolder = MakePrivateFolder(&strError);
  if (m_strFolder.empty())
    m_front.m_err << "qrtupdate: cannot make a folder for the ports' records: " << strError << "\n";
  for (std::size_t i = 0; i < m_ports.size(); ++i) {
    PortRun& p = *m_ports[i];
    p.tStart = SeveralClock::now();
    if (m_strFolder.empty()) {
      p.strLost = "not started";
      continue;
    }
    p.strReport = (std::filesystem::path(m_strFolder) / PortRecordName(i)).string();
    if (m_front.StopNoted()) {
      p.strLost = "not started: stopped before";
      continue;
    }
    if (p.child.Start(ChildArgs(m_options, p.strName, p.strReport), &strError)) {
      p.bStarted = true;
    } else {
      p.strLost = strError;
    }
  }
  m_pDisplay->Draw();
}

void SeveralPorts::Supervise() {
  std::vector<platform::ChildProcess*> children;
  for (auto& p : m_ports)
    if (p->bStarted) children.push_back(&p->child);
  bool bStopPassed = false;
  SeveralClock::time_point tStop{};
  for (;;) {
    bool bRunning = false;
    for (auto& p : m_ports) bRunning = bRunning || (p->bStarted && !p->bEnded);
    if (!bRunning) break;
    platform::WaitChildren(children, 100);
    bool bChanged = false;
    for (auto& p : m_ports)
      if (p->bStarted && !p->bEnded) bChanged = FollowPort(*p) || bChanged;
    PassStop(bStopPassed, tStop);
    m_pDisplay->DrawIfDue(bChanged);
  }
}

// Takes in what one child sent and notes its end; true when the display
// changed.
bool SeveralPorts::FollowPort(PortRun& p) {
  bool bChanged = false;
  const bool bFinished = p.child.Finished();
  for (const std::string& s : TakeLines(p.strOutLine, p.child.TakeOut(), bFinished)) {
    OnChildLine(p, s);
    bChanged = true;
  }
  for (const std::string& s : TakeLines(p.strErrLine, p.child.TakeErr(), bFinished))
    m_pDisplay->SayLine(p.strName + ": " + s);
  if (!bFinished) return bChanged;
  p.bEnded = true;
  p.tEnd = SeveralClock::now();
  if (p.child.Signal() != 0) {
    const char* pszName = platform::SignalName(p.child.Signal());
    p.strLost = "killed by signal " + std::to_string(p.child.Signal()) +
                (*pszName ? std::string(" (") + pszName + ")" : "");
  } else if (!p.bResult) {
    p.strLost = "ended with status " + std::to_string(p.child.ExitCode()) + " without a result";
  }
  return true;
}

void SeveralPorts::PassStop(bool& bStopPassed, SeveralClock::time_point& tStop) {
  if (!bStopPassed && m_front.StopNoted()) {
    // Each child stops as a single update does: at its next exchange,
    // without "FWUE", its port closed and its termios restored.
    for (auto& p : m_ports)
      if (p->bStarted && !p->bEnded) p->child.Stop(m_front.m_nStopSignal);
    bStopPassed = true;
    tStop = SeveralClock::now();
  }
  if (bStopPassed && SeveralClock::now() - tStop > kStopGrace) {
    for (auto& p : m_ports)
      if (p->bStarted && !p->bEnded) p->child.Kill();
    tStop = SeveralClock::now();  // once more the grace for the kill to land
  }
}

// The exit status: the code of the first port, in the order given, that did
// not end with 0.
// The run's reason is that port's, named.
int SeveralPorts::ExitStatus() const {
  for (const auto& p : m_ports) {
    if (p->nCode == 0) continue;
    const std::string strReason = !p->strLost.empty() ? "the update's process " + p->strLost
                                  : !p->strReason.empty() ? p->strReason
                                                          : ResultMeaning(p->nCode);
    m_front.m_strReason = p->strName + ": " + strReason;
    return p->nCode;
  }
  return 0;
}

}  // namespace ui
