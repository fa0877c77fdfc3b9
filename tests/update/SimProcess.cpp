#include "tests/update/SimProcess.h"

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

std::string ReadWholeFile(const std::string& strPath) {
  std::ifstream file(strPath, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

}  // namespace

SimProcess::SimProcess(const std::vector<std::string>& options, const std::string& strOutDir) : m_strOutDir(strOutDir) {
  std::filesystem::create_directories(strOutDir);
  std::vector<std::string> args = {QRT_QRTSIM_PATH, "--report", strOutDir + "/report.json", "--dump-dir",
                                   strOutDir + "/dump", "--max-seconds", "300", "--exit-after-fwue"};
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
  // The first line is the slave's path, printed once the port is ready.
  std::string strLine;
  char ch = 0;
  while (read(fds[0], &ch, 1) == 1 && ch != '\n') strLine += ch;
  close(fds[0]);
  m_strSlave = strLine;
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
  kill(m_pid, SIGTERM);
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
