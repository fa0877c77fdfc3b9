// qrtsim run as a child process on its own pseudo-terminal, for tests that
// drive the real serial link against the simulated power supply.
#pragma once
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

class SimProcess {
 public:
  // Starts qrtsim with the options given (plus its record in strOutDir) and
  // waits for the slave path it prints.
  SimProcess(const std::vector<std::string>& options, const std::string& strOutDir);
  ~SimProcess();
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  bool Started() const { return !m_strSlave.empty(); }
  const std::string& SlavePath() const { return m_strSlave; }
  // Ends qrtsim (its record is written on the way out). qrtsim ends by
  // itself once it has answered everything after "FWUE".
  void Stop();

  // The record: the commands received, in order, and the page bytes one
  // controller ("main", "ch1".."ch4") received.
  std::vector<std::string> Commands() const;
  std::vector<std::uint8_t> Dump(const std::string& strController) const;
  std::string Report() const;

 private:
  pid_t m_pid = -1;
  std::string m_strSlave;
  std::string m_strOutDir;
};

// The string array of a top-level member of a JSON object (strings without
// escapes other than \" and \\ , as qrtsim's command names are).
std::vector<std::string> JsonStringArray(const std::string& strJson, const std::string& strKey);
