// The console front end: runs the main window's logic without a window.
// Options choose entries as a user would; actions click buttons; list lines
// go to standard output as they are inserted and message boxes to standard
// error, confirmed at once. Its parts:
//   ConsoleOptions.cpp  options, actions and the usage text
//   Console.cpp         the front end: runs the window, steps and exit status
//   ConsoleDisplay.cpp  the terminal display: list lines, boxes, progress bar
//   ConsolePorts.cpp    the port listing ("ports")
//   ConsoleVerify.cpp   the bundle check ("verify")
//   ConsoleDryRun.cpp   update --dry-run: the checks and the plan, nothing sent
//   ConsoleJson.cpp     the JSON Lines stream (--json) and the record's end
//   UpdateRecord.cpp    the update record (--report)
//   ConsoleReasons.cpp  the lines that say why an action failed
//   ConsoleMulti.cpp    several COM ports at once, one child process each:
//                       start and supervision; ConsoleMultiDisplay.cpp the
//                       ports side by side, ConsoleMultiRecord.cpp the
//                       summary and the merged record
//   ConsoleEvents.h     the JSON stream's event and field names
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include <nlohmann/json.hpp>

#include "ui/console/lib/ConsoleOptions.h"
#include "ui/console/lib/UpdateRecord.h"
#include "ui/memory/MemoryFrontEnd.h"
#include "common/ResultCodes.h"

class UpdateDialog;

namespace ui {

class ConsoleFrontEnd : public MemoryFrontEnd {
  friend class SeveralPorts;  // several ports: one child per port (ConsoleMulti*.cpp)

 public:
  ConsoleFrontEnd(std::ostream& out, std::ostream& err, bool bProgressBar);
  ~ConsoleFrontEnd() override;

  // Runs the program with these options; returns the exit status. Every
  // way out passes the end of Run, which writes the record (--report) and
  // the last JSON line (--json).
  int Run(const ConsoleOptions& options);

  // Marks the run as stopped by a signal: the record says "interrupted".
  void SetInterrupted(bool bInterrupted) { m_bInterrupted = bInterrupted; }
  const UpdateRecord& Record() const { return m_record; }
  // The stop signal (platform/signals.h: 1 SIGHUP, 2 SIGINT, 15 SIGTERM)
  // noted during the run, 0 when none was. Run's exit status is then
  // ExitStatusOfStop of it, whatever the update's own code was, unless the
  // stop came after the update's closing command had been written: the run
  // then ends as it would have without it (StopCutRun).
  int StopSignal() const { return m_nStopSignal; }
  // Whether any page, or the identification exchange, had reached the
  // device when the stop came: the device then needs a complete update.
  bool StoppedAfterDeviceTouched() const { return m_bDeviceTouched; }
  // Where the front end reads a stop request; platform::StopSignal unless a
  // test puts its own here. The process installs the handlers (main).
  std::function<int()> m_pfnStopRequest;
  // What the several-ports display may use: whether standard output is a
  // terminal too, and whether the terminal takes cursor sequences (a
  // Windows console may not).
  void SetTerminal(bool bOutTerminal, bool bSequences) {
    m_bOutTerminal = bOutTerminal;
    m_bTerminalSequences = bSequences;
  }

 protected:
  void OnMessageBox(const RecordedBox& box) override;
  void OnListInsert(fw::Dialog& dlg, int id, const std::string& text) override;
  void OnProgress(fw::Dialog& dlg, const MemoryControl& c) override;

 private:
  int RunOptions(const ConsoleOptions& options);
  int RunSeveral(const ConsoleOptions& options);
  int EndRun(const ConsoleOptions& options, int nCode);
  void NoteUpdatePort(int nCom);  // nCom: the COM number, 0 when not a COM port
  // What the link learnt of the adapter during the update (a device
  // server's signature) replaces what the system listed; "" keeps that.
  void NoteUpdateAdapter(const std::string& strDescription);
  void JsonEvent(const nlohmann::ordered_json& j);
  void RunSteps(fw::Dialog& dlg);
  bool DoStep(fw::Dialog& dlg, const ConsoleStep& step);
  void Show(fw::Dialog& dlg);
  static bool OnlyPorts(const ConsoleOptions& options);
  int ListPortsAlone(const ConsoleOptions& options);
  void ListPorts();
  void UsageError(const std::string& strText);
  // Ends the run with nCode and strText as its reason on standard error
  // (a refusal of the console's own, not a usage error).
  void Refuse(int nCode, const std::string& strText);
  // update --dry-run (ConsoleDryRun.cpp): the update's checks, the port
  // opened and closed, the plan shown; false when the run ends here.
  bool DryRunUpdate(UpdateDialog& upd);
  void EndProgressLine();
  bool StopNoted();
  // A stop was noted and it cut the run short: it came before the closing
  // command was written, or it kept a later step from running. A stop that
  // comes while the closing command's arrival is being confirmed changes
  // nothing: the device may already take its update as complete, and the
  // run reports what it finds, not the stop.
  bool StopCutRun();
  void ReportStop();
  void ReportLateStop();
  const char* StopName() const;
  // Why an action failed, one line on standard error (ConsoleReasons.cpp);
  // the reason also goes into the record and the JSON result.
  void SayWhy(fw::Dialog& dlg, const std::string& strAction, std::int32_t nCode);
  // The reason of a failure the console meets itself (a usage error, a
  // stop, a name without a brand word).
  void NoteReason(std::int32_t nCode, const std::string& strDetail);
  void SayNoBrand(const std::string& strFileName);
  // The progress bar on a terminal stays on the last line: what is written
  // above it first takes the bar away, then draws it again.
  void HideProgressBar();
  void RedrawProgressBar();

  std::ostream& m_out;
  std::ostream& m_err;
  bool m_bProgressBar;
  bool m_bProgressLineOpen = false;
  std::string m_strProgressBar;  // the bar as last drawn, to draw it again
  std::string m_strProgressController;  // the controller the bar counts ("main", "ch1"), "" before one
  std::string m_strReason;  // why the run failed, "" when it did not (or before it is known)
  const ConsoleOptions* m_pOptions = nullptr;
  std::string m_strPort;
  int m_nExit = 0;
  bool m_bUsageError = false;
  bool m_bVerifyLast = false;  // the last action run was "verify"
  int m_nVerifyExit = 0;       // and what it ended with
  bool m_bInterrupted = false;
  bool m_bClosingSent = false;  // the update's closing command was written
  bool m_bStepsCut = false;     // a stop kept a step from running
  bool m_bReportRefused = false;  // --report's place refused before the run: no record is written
  // --json: the stream standard output had; m_out then carries human text
  // to standard error.
  std::ostream* m_pJson = nullptr;
  UpdateRecord m_record;
  std::unique_ptr<TransferEvents> m_pJsonEvents;
  int m_nStopSignal = 0;
  bool m_bDeviceTouched = false;
  bool m_bOutTerminal = false;
  bool m_bTerminalSequences = true;
  // Several ports: the record is {"devices": [one record per port], "code"}.
  bool m_bSeveral = false;
  nlohmann::ordered_json m_severalDevices = nlohmann::ordered_json::array();
};

// The "verify" action: checks every file SHA256SUMS lists in the working
// folder, one "NAME TAB ok|differs|missing" line each on out, reasons on
// err. 0 when every file is ok; 7 otherwise, or without a usable list.
int VerifyChecksums(std::ostream& out, std::ostream& err);

// The exit status of a run stopped by a signal: 128 plus its number
// (129 SIGHUP, 130 SIGINT, 143 SIGTERM).
int ExitStatusOfStop(int nSignal);

}  // namespace ui
