// The console program's command line: the options and actions a user gives,
// the usage text, and the interface names the options accept.
#pragma once
#include <string>
#include <vector>

namespace ui {

struct ConsoleStep {
  enum Kind { Interface, Device, Port, Action } kind;
  std::string value;
};

struct ConsoleOptions {
  bool bHelp = false;
  bool bVersion = false;  // --version
  std::string strAs;  // --as NAME, empty when not given
  std::string strReport;  // --report FILE, empty when not given
  bool bJson = false;     // --json: JSON Lines on standard output
  bool bDryRun = false;   // --dry-run, -n: update checks everything, opens the port, sends nothing
  std::vector<std::string> dirs;  // -C DIR, in the order given: each taken from the one before
  std::vector<ConsoleStep> steps;
  // Every interface --interface named, in the order given (a list "COM10,COM11"
  // split). Two or more: an update of several COM ports at once, one
  // single-port run of the program per port (ConsoleMulti.cpp).
  std::vector<std::string> interfaces;
  std::vector<std::string> args;  // the command line as given, for those runs
  std::string strError;  // a usage error found while parsing
};

ConsoleOptions ParseConsoleArgs(const std::vector<std::string>& args);
std::string ConsoleUsage();
// What a usage error prints after its reason: the synopsis and where the
// rest is, so the reason is not lost above the whole help text.
std::string ShortUsage();

// The interfaces a user can choose, for a refusal: "COM1..COM29, GPIB".
std::string InterfaceChoices();

// The interface list's index for a name (COM1..COM29, USB, GPIB), or -1.
int InterfaceIndex(const std::string& strName);

// The actions a run over several ports may hold.
bool IsSeveralPortsAction(const std::string& strAction);

}  // namespace ui
