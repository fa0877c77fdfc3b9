// Several COM ports in one update, in parts: starting one child per port
// and following them to their ends (ConsoleMulti.cpp), showing them side by
// side (ConsoleMultiDisplay.cpp), and the summary lines and the merged
// record (ConsoleMultiRecord.cpp). Private to the console front end.
#pragma once
#include <chrono>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/childprocess.h"

namespace ui {

class ConsoleFrontEnd;
struct ConsoleOptions;

using SeveralClock = std::chrono::steady_clock;

// A child's record as the merged record holds it: a child stopped before its
// update started never learnt its port, so the port's name and path the
// parent gave it are filled in where the record has none.
void NameChildRecord(nlohmann::ordered_json& record, const std::string& strName, const std::string& strPath);

// One port of the run and its child process.
struct PortRun {
  std::string strName;    // "COM10"
  std::string strPath;    // the device behind it, as "ports" names it
  std::string strReport;  // the child's record, in the private folder
  platform::ChildProcess child;
  bool bStarted = false;
  bool bEnded = false;
  std::string strOutLine, strErrLine;  // a line not yet ended
  bool bResult = false;                // the child's "result" line came
  std::string strController;
  int nPage = 0, nPages = 0;
  std::string strState = "starting";
  SeveralClock::time_point tStart, tEnd;
  int nCode = 0;
  std::string strReason;  // why the port's update failed, as its result said
  std::string strLost;  // why the process gave no result
};

using PortRuns = std::vector<std::unique_ptr<PortRun>>;

// What the user sees while the ports run: on a terminal that takes cursor
// sequences one line per port on standard error, rewritten in place;
// otherwise every line prefixed with its port.
class PortDisplay {
 public:
  PortDisplay(std::ostream& out, std::ostream& err, const PortRuns& ports, bool bBlock, bool bOutTerminal);
  // Draws the port lines again (on a terminal only).
  void Draw();
  // Draws them again if something changed and the last drawing is old enough.
  void DrawIfDue(bool bChanged);
  // A line on standard error above the port lines.
  void SayLine(const std::string& strLine);
  // A child's list line: on standard output, prefixed, unless the port
  // lines stand in for it on a terminal.
  void ListLine(const PortRun& p, const std::string& strText);

 private:
  void Erase();
  std::ostream& m_out;
  std::ostream& m_err;
  const PortRuns& m_ports;
  bool m_bBlock;
  bool m_bOutTerminal;
  std::size_t m_nBlockLines = 0;  // lines of the port display now on screen
  SeveralClock::time_point m_tDrawn{};
};

// The run of several ports, from start to merged record.
class SeveralPorts {
 public:
  SeveralPorts(ConsoleFrontEnd& front, const ConsoleOptions& options);
  ~SeveralPorts();
  // Runs every port to its end; returns the exit status.
  int Run();

 private:
  void StartPorts();
  void Supervise();
  bool FollowPort(PortRun& p);
  void PassStop(bool& bStopPassed, SeveralClock::time_point& tStop);
  void OnChildLine(PortRun& p, const std::string& strLine);
  void NoteEvent(PortRun& p, const nlohmann::ordered_json& j);
  void EndPorts();
  void MergeRecords();
  nlohmann::ordered_json LostRecord(const PortRun& p) const;
  int ExitStatus() const;

  ConsoleFrontEnd& m_front;
  const ConsoleOptions& m_options;
  PortRuns m_ports;
  std::unique_ptr<PortDisplay> m_pDisplay;
  std::string m_strFolder;  // the children's records; removed at the end
};

// The name of the i-th port's record in the private folder. Never a name
// Windows keeps for a device (COM1 to COM9, LPT1 to LPT9, CON, PRN, AUX,
// NUL, whatever the extension): a record named after its port would open
// the serial port itself.
std::string PortRecordName(std::size_t nIndex);

}  // namespace ui
