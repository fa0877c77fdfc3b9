// Several COM ports in one update: the program starts itself once per port,
// each child an ordinary single-port run with the same options, its JSON
// Lines stream on a pipe and its update record in a private folder. The
// parent shows the ports side by side, passes a stop on to every child,
// and ends with one summary line per port and one record of them all.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <system_error>

#include "app/UpdateApp.h"
#include "app/UpdateDialog.h"
#include "link/DeviceLink.h"
#include "platform/childprocess.h"
#include "platform/file.h"
#include "platform/ports.h"
#include "platform/signals.h"
#include "qrt_version.h"
#include "ui/console/lib/Console.h"

namespace ui {

namespace {

using Clock = std::chrono::steady_clock;

// A child that does not end within this time after a stop was passed on is
// killed: its port is then reported lost, not waited for for ever.
constexpr auto kStopGrace = std::chrono::seconds(30);
// The terminal display is drawn again at most this often.
constexpr auto kRedrawEvery = std::chrono::milliseconds(100);

struct PortRun {
  std::string strName;    // "COM10"
  std::string strPath;    // the device behind it, as "ports" names it
  std::string strReport;  // the child's record, in the private folder
  platform::ChildProcess child;
  bool bStarted = false;
  bool bEnded = false;
  std::string strOutLine, strErrLine;  // a line not yet ended
  bool bResult = false;                // the child's "result" line came
  int nResult = 0;
  std::string strController;
  int nPage = 0, nPages = 0;
  std::string strState = "starting";
  Clock::time_point tStart, tEnd;
  int nCode = 0;
  std::string strLost;  // why the process gave no result
};

const char* SignalName(int nSignal) {
  switch (nSignal) {
    case 1: return "SIGHUP";
    case 2: return "SIGINT";
    case 6: return "SIGABRT";
    case 9: return "SIGKILL";
    case 11: return "SIGSEGV";
    case 15: return "SIGTERM";
    default: return "";
  }
}

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

std::string Seconds(Clock::duration d) {
  char sz[32];
  std::snprintf(sz, sizeof sz, "%.2f", std::chrono::duration<double>(d).count());
  return sz;
}

}  // namespace

int ConsoleFrontEnd::RunSeveral(const ConsoleOptions& options) {
  m_bSeveral = true;
  const bool bBlock = m_bProgressBar && m_bTerminalSequences;
  std::vector<std::unique_ptr<PortRun>> ports;
  for (const std::string& strName : options.interfaces) {
    auto p = std::make_unique<PortRun>();
    p->strName = strName;
    p->strPath = platform::ComPortPath(InterfaceIndex(strName) + 1);
    ports.push_back(std::move(p));
  }

  // ---- the display ---------------------------------------------------------
  std::size_t nBlockLines = 0;  // lines of the terminal display now on screen
  Clock::time_point tDrawn{};
  auto stateLine = [](const PortRun& p) {
    std::string s = p.strName + "  " + (p.strController.empty() ? "-" : p.strController);
    if (p.nPages > 0) s += "  page " + std::to_string(p.nPage) + " of " + std::to_string(p.nPages);
    return s + "  " + p.strState;
  };
  auto eraseBlock = [&] {
    if (nBlockLines == 0) return;
    m_err << "\x1b[" << nBlockLines << "A\r\x1b[J";
    nBlockLines = 0;
  };
  auto drawBlock = [&] {
    if (!bBlock) return;
    eraseBlock();
    for (const auto& p : ports) m_err << stateLine(*p) << "\x1b[K\n";
    nBlockLines = ports.size();
    m_err.flush();
    tDrawn = Clock::now();
  };
  // A line on standard error (a message, a child's own line) above the
  // display.
  auto sayLine = [&](const std::string& strLine) {
    m_out.flush();
    eraseBlock();
    m_err << strLine << "\n";
    m_err.flush();
    drawBlock();
  };

  // ---- one line of a child's JSON stream ------------------------------------
  auto onEvent = [&](PortRun& p, const std::string& strLine) {
    nlohmann::ordered_json j = nlohmann::ordered_json::parse(strLine, nullptr, false);
    if (j.is_discarded() || !j.is_object() || !j.contains("event") || !j["event"].is_string()) {
      // Never meant to happen: the child's standard output is its stream.
      sayLine(p.strName + ": " + strLine);
      return;
    }
    const std::string strEvent = j["event"].get<std::string>();
    auto text = [&](const char* pszKey) {
      return j.contains(pszKey) && j[pszKey].is_string() ? j[pszKey].get<std::string>() : std::string();
    };
    auto number = [&](const char* pszKey) {
      return j.contains(pszKey) && j[pszKey].is_number_integer() ? j[pszKey].get<int>() : 0;
    };
    if (strEvent == "result") {
      p.bResult = true;
      p.nResult = number("code");
    } else if (strEvent == "controller") {
      p.strController = text("name");
      const std::string strState = text("state");
      p.strState = strState == "started" ? "sending" : strState;
      if (strState == "started") p.nPage = p.nPages = 0;
    } else if (strEvent == "progress") {
      p.nPage = number("pos") - number("lower") + 1;
      p.nPages = number("upper") - number("lower") + 1;
    }
    if (m_pJson) {
      nlohmann::ordered_json tagged;
      tagged["event"] = strEvent;
      tagged["interface"] = p.strName;
      for (auto it = j.begin(); it != j.end(); ++it)
        if (it.key() != "event") tagged[it.key()] = it.value();
      // The children's results are the ports'; the last line is the run's.
      JsonEvent(tagged);
      return;
    }
    if (strEvent == "list") {
      if (!(bBlock && m_bOutTerminal)) {
        eraseBlock();
        m_out << p.strName << ": " << text("text") << "\n";
        m_out.flush();
        drawBlock();
      }
    } else if (strEvent == "message") {
      sayLine(p.strName + ": " + text("caption") + " (" + text("icon") + "): " + text("text"));
    }
  };

  // ---- start one child per port ----------------------------------------------
  std::string strError;
  const std::string strFolder = MakePrivateFolder(&strError);
  if (strFolder.empty()) m_err << "qrtupdate: cannot make a folder for the ports' records: " << strError << "\n";
  for (auto& p : ports) {
    p->tStart = Clock::now();
    if (strFolder.empty()) {
      p->strLost = "not started";
      continue;
    }
    p->strReport = (std::filesystem::path(strFolder) / (p->strName + ".json")).string();
    if (StopNoted()) {
      p->strLost = "not started: stopped before";
      continue;
    }
    if (p->child.Start(ChildArgs(options, p->strName, p->strReport), &strError)) {
      p->bStarted = true;
    } else {
      p->strLost = strError;
    }
  }
  drawBlock();

  // ---- follow them to their ends ---------------------------------------------
  std::vector<platform::ChildProcess*> children;
  for (auto& p : ports)
    if (p->bStarted) children.push_back(&p->child);
  bool bStopPassed = false;
  Clock::time_point tStop{};
  for (;;) {
    bool bRunning = false;
    for (auto& p : ports) bRunning = bRunning || (p->bStarted && !p->bEnded);
    if (!bRunning) break;
    platform::WaitChildren(children, 100);
    bool bChanged = false;
    for (auto& p : ports) {
      if (!p->bStarted || p->bEnded) continue;
      const bool bFinished = p->child.Finished();
      for (const std::string& s : TakeLines(p->strOutLine, p->child.TakeOut(), bFinished)) {
        onEvent(*p, s);
        bChanged = true;
      }
      for (const std::string& s : TakeLines(p->strErrLine, p->child.TakeErr(), bFinished))
        sayLine(p->strName + ": " + s);
      if (!bFinished) continue;
      p->bEnded = true;
      p->tEnd = Clock::now();
      bChanged = true;
      if (p->child.Signal() != 0) {
        const char* pszName = SignalName(p->child.Signal());
        p->strLost = "killed by signal " + std::to_string(p->child.Signal()) + (*pszName ? std::string(" (") + pszName + ")" : "");
      } else if (!p->bResult) {
        p->strLost = "ended with status " + std::to_string(p->child.ExitCode()) + " without a result";
      }
    }
    if (!bStopPassed && StopNoted()) {
      // Each child stops as a single update does: at its next exchange,
      // without "FWUE", its port closed and its termios restored.
      for (auto& p : ports)
        if (p->bStarted && !p->bEnded) p->child.Stop(m_nStopSignal);
      bStopPassed = true;
      tStop = Clock::now();
    }
    if (bStopPassed && Clock::now() - tStop > kStopGrace) {
      for (auto& p : ports)
        if (p->bStarted && !p->bEnded) p->child.Kill();
      tStop = Clock::now();  // once more the grace for the kill to land
    }
    if (bBlock && bChanged && Clock::now() - tDrawn >= kRedrawEvery) drawBlock();
  }

  // ---- the end: codes, display, summary and record ----------------------------
  for (auto& p : ports) {
    if (!p->bEnded) p->tEnd = Clock::now();
    p->nCode = p->strLost.empty() ? p->child.ExitCode() : static_cast<int>(kExitPortProcessLost);
    p->strState = p->nCode == 0 ? "done" : "failed, code " + std::to_string(p->nCode);
    if (!p->strLost.empty()) p->strState = "lost: " + p->strLost;
  }
  drawBlock();
  for (auto& p : ports)
    if (!p->strLost.empty())
      sayLine("qrtupdate: " + p->strName + ": the update's process " + p->strLost + "; the port's result is unknown");
  for (auto& p : ports)
    m_out << p->strName << "\t" << p->strPath << "\t" << p->nCode << "\t" << ResultMeaning(p->nCode) << "\t"
          << Seconds(p->tEnd - p->tStart) << "\n";
  m_out.flush();

  for (auto& p : ports) {
    nlohmann::ordered_json record;
    std::ifstream in(p->strReport, std::ios::binary);
    if (p->bStarted && in) record = nlohmann::ordered_json::parse(in, nullptr, false);
    if (record.is_discarded() || !record.is_object()) {
      // No record of its own: one that says the port's run was lost.
      UpdateRecord lost;
      const std::string strProgram = StartFileName();
      const int nBrand = BrandOfFileName(strProgram);
      lost.SetProgram(strProgram, QRT_VERSION);
      if (nBrand >= 0) lost.SetBrand(BrandWord(nBrand));
      lost.SetFirmwareVersion(FirmwareVersionOfFileName(strProgram));
      lost.SetPort(p->strPath);
      lost.AddMessage("error", "the update's process " + p->strLost);
      lost.Finish(p->nCode, StopNoted());
      record = lost.Json();
      record["interface"] = p->strName;
    }
    m_severalDevices.push_back(std::move(record));
  }
  if (!strFolder.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(strFolder, ec);
  }

  if (StopNoted()) {
    m_err << "qrtupdate: stopped by " << platform::StopSignalName()
          << ": each port's line says where it stopped; a port not done needs a complete update\n";
    m_err.flush();
    return ExitStatusOfStop(m_nStopSignal);
  }
  for (auto& p : ports)
    if (p->nCode != 0) return p->nCode;
  return 0;
}

}  // namespace ui
