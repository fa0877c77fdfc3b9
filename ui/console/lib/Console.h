// The console front end: runs the main window's logic without a window.
// Options choose entries as a user would; actions click buttons; list lines
// go to standard output as they are inserted and message boxes to standard
// error, confirmed at once. Its parts:
//   ConsoleOptions.cpp  options, actions and the usage text
//   Console.cpp         the front end: runs the window, steps and exit status
//   ConsoleDisplay.cpp  the terminal display: list lines, boxes, progress bar
//   ConsolePorts.cpp    the port listing ("ports")
//   ConsoleReasons.cpp  the lines that say why an action failed
#pragma once
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>

#include "ui/console/lib/ConsoleOptions.h"
#include "ui/memory/MemoryFrontEnd.h"
#include "update/ResultCodes.h"

namespace ui {

class ConsoleWhere;  // where an update failed (ConsoleReasons.cpp)

class ConsoleFrontEnd : public MemoryFrontEnd {
 public:
  ConsoleFrontEnd(std::ostream& out, std::ostream& err, bool bProgressBar);
  ~ConsoleFrontEnd() override;

  // Runs the program with these options; returns the exit status.
  int Run(const ConsoleOptions& options);

 protected:
  void OnMessageBox(const RecordedBox& box) override;
  void OnListInsert(fw::Dialog& dlg, int id, const std::string& text) override;
  void OnProgress(fw::Dialog& dlg, const MemoryControl& c) override;

 private:
  void RunSteps(fw::Dialog& dlg);
  bool DoStep(fw::Dialog& dlg, const ConsoleStep& step);
  void Show(fw::Dialog& dlg);
  static bool OnlyPorts(const ConsoleOptions& options);
  int ListPortsAlone(const ConsoleOptions& options);
  void ListPorts();
  void UsageError(const std::string& strText);
  void EndProgressLine();
  // Why an action failed, one line on standard error (ConsoleReasons.cpp).
  void WatchWhere(bool bOn);
  void SayWhy(fw::Dialog& dlg, const std::string& strAction, std::int32_t nCode);
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
  std::shared_ptr<ConsoleWhere> m_pWhere;  // shared: the type is complete only in ConsoleReasons.cpp
  const ConsoleOptions* m_pOptions = nullptr;
  std::string m_strPort;
  int m_nExit = 0;
  bool m_bUsageError = false;
};

// Sets the device path behind COM port n for this process (QRTUPDATE_COM<n>).
void SetComPortPath(int n, const std::string& strPath);

}  // namespace ui
