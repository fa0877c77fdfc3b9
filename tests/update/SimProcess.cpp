#include "tests/update/SimProcess.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

namespace {

// qrtsim prints its slave's path at once and ends at once on SIGTERM.
constexpr std::chrono::seconds kStartBound{10};
constexpr std::chrono::seconds kStopBound{10};
// qrtsim's own end whatever happens: once it is gone the updater's reads and
// writes fail at once, so a transfer that went wrong (a device silent from
// some page on, whose every read waits out its time-out) ends within this,
// not after minutes. Far above the longest whole update here.
const char* const kLifetimeSeconds = "30";

std::string ReadWholeFile(const std::string& strPath) {
  std::ifstream file(strPath, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

}  // namespace

SimProcess::SimProcess(const std::vector<std::string>& options, const std::string& strOutDir) : m_strOutDir(strOutDir) {
  std::filesystem::create_directories(strOutDir);
  std::vector<std::string> args = {QRT_QRTSIM_PATH, "--report", strOutDir + "/report.json", "--dump-dir",
                                   strOutDir + "/dump", "--max-seconds", kLifetimeSeconds, "--exit-after-fwue"};
  args.insert(args.end(), options.begin(), options.end());
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  int fds[2];
  if (pipe(fds) != 0) return;
  m_pid = fork();
  if (m_pid == 0) {
    dup2(fds[1], STDOUT_FILENO);
    close(fds[0]);
    close(fds[1]);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(fds[1]);
  // The first line is the slave's path, printed once the port is ready (at
  // once; a qrtsim that says nothing for seconds is broken).
  std::string strLine;
  char ch = 0;
  bool bWhole = false;
  const auto deadline = std::chrono::steady_clock::now() + kStartBound;
  while (!bWhole) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd pfd{fds[0], POLLIN, 0};
    if (left.count() <= 0 || poll(&pfd, 1, static_cast<int>(left.count())) <= 0) break;
    if (read(fds[0], &ch, 1) != 1) break;
    if (ch == '\n') bWhole = true;
    else strLine += ch;
  }
  close(fds[0]);
  if (bWhole) m_strSlave = strLine;
}

SimProcess::~SimProcess() { Stop(); }

void SimProcess::Stop() {
  if (m_pid <= 0) return;
  // "FWUE" awaits no reply, so the updater may be done before qrtsim has
  // taken it: give qrtsim a moment to finish by itself after "FWUE".
  int status = 0;
  for (int i = 0; i < 100; ++i) {
    if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
      m_pid = -1;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  // qrtsim writes its record and ends on SIGTERM; one that does not is
  // killed, so that a test never waits on it for long.
  kill(m_pid, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + kStopBound;
  while (std::chrono::steady_clock::now() < deadline) {
    if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
      m_pid = -1;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  kill(m_pid, SIGKILL);
  while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
  }
  m_pid = -1;
}

std::string SimProcess::Report() const { return ReadWholeFile(m_strOutDir + "/report.json"); }

std::vector<std::string> SimProcess::Commands() const { return JsonStringArray(Report(), "commands"); }

std::vector<std::uint8_t> SimProcess::Dump(const std::string& strController) const {
  const std::string str = ReadWholeFile(m_strOutDir + "/dump/" + strController + ".bin");
  return {str.begin(), str.end()};
}

std::vector<std::string> JsonStringArray(const std::string& strJson, const std::string& strKey) {
  std::vector<std::string> out;
  std::size_t i = strJson.find("\"" + strKey + "\"");
  if (i == std::string::npos) return out;
  i = strJson.find('[', i);
  if (i == std::string::npos) return out;
  ++i;
  while (i < strJson.size() && strJson[i] != ']') {
    if (strJson[i] != '"') {
      ++i;
      continue;
    }
    std::string str;
    for (++i; i < strJson.size() && strJson[i] != '"'; ++i) {
      if (strJson[i] == '\\' && i + 1 < strJson.size()) ++i;
      str += strJson[i];
    }
    out.push_back(str);
    ++i;
  }
  return out;
}
