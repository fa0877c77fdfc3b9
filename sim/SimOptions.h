// Command-line options of the simulator, shared by qrtsim and the stand-in
// GPIB libraries (which read the same options from the environment variable
// QRTSIM_GPIB). The option table is in SimOptions.cpp, the descriptions in
// sim/qrtsim.cpp.
#pragma once
#include <string>
#include <vector>

#include "sim/SimEngine.h"

namespace sim {

struct SimOptions {
  SimConfig config;
  std::string strLink;       // --link: symlink to the pty slave
  std::string strTty;        // --tty: serve this existing terminal device instead of a new pty
  std::string strReport;     // --report: JSON report file
  std::string strDumpDir;    // --dump-dir: per-controller binary dumps
  unsigned long nBaud = 0;   // --baud: wire pacing, 0 = none
  unsigned nAdapterLatencyMs = 0;  // --adapter-latency: USB-serial adapter's latency timer, 0 = none
  bool bExitAfterFwue = false;
  double dMaxSeconds = 0;    // --max-seconds: give up after this long, 0 = never
  bool bVerbose = false;
  bool bIbdevFail = false;   // stand-in GPIB only: ibdev fails
  bool bHelp = false;
  bool bVersion = false;     // --version (qrtsim only)
};

// Splits a command line as a POSIX shell would for plain words: blanks
// separate, '...' and "..." quote, backslash escapes the next character.
std::vector<std::string> SplitArgs(const std::string& strLine);

// Parses the options (without the program name). Returns 1 on success, else
// 0 with a message in strError.
int ParseSimArgs(const std::vector<std::string>& args, SimOptions& opts, std::string& strError);

}  // namespace sim
