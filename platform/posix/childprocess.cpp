// POSIX child processes: posix_spawn of /proc/self/exe under the start name,
// standard output and error through pipes, poll() over all of them.
#include "platform/childprocess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/platform.h"

extern char** environ;

namespace platform {

struct ChildProcess::Impl {
  pid_t pid = -1;
  bool bEnded = false;
  int nExit = -1;
  int nSignal = 0;
  int fdOut = -1;
  int fdErr = -1;
  std::string strOut, strErr;

  void Reap(int nOptions) {
    if (pid < 0 || bEnded) return;
    int nStatus = 0;
    pid_t r;
    do {
      r = waitpid(pid, &nStatus, nOptions);
    } while (r < 0 && errno == EINTR);
    if (r != pid) return;
    bEnded = true;
    if (WIFEXITED(nStatus)) nExit = WEXITSTATUS(nStatus);
    if (WIFSIGNALED(nStatus)) nSignal = WTERMSIG(nStatus);
  }
  // Reads what one pipe holds now; closes it at its end.
  static void Drain(int& fd, std::string& strTo) {
    if (fd < 0) return;
    char buf[4096];
    for (;;) {
      ssize_t n = read(fd, buf, sizeof buf);
      if (n > 0) {
        strTo.append(buf, static_cast<std::size_t>(n));
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
      close(fd);
      fd = -1;
      return;
    }
  }
};

ChildProcess::ChildProcess() : m_pImpl(std::make_unique<Impl>()) {}

ChildProcess::~ChildProcess() {
  Impl& c = *m_pImpl;
  if (c.pid > 0 && !c.bEnded) {
    kill(c.pid, SIGKILL);
    c.Reap(0);
  }
  if (c.fdOut >= 0) close(c.fdOut);
  if (c.fdErr >= 0) close(c.fdErr);
}

int ChildProcess::Start(const std::vector<std::string>& args, std::string* pstrError) {
  Impl& c = *m_pImpl;
  int out[2] = {-1, -1}, err[2] = {-1, -1};
  if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
    *pstrError = std::string("cannot make a pipe: ") + std::strerror(errno);
    for (int fd : {out[0], out[1], err[0], err[1]})
      if (fd >= 0) close(fd);
    return 0;
  }
  // The child's name is the one this program was started under: it chooses
  // the brand as it did here.
  std::string strName = ModuleFileName();
  if (strName.empty()) strName = "qrtupdate";
  std::vector<char*> argv;
  argv.push_back(strName.data());
  std::vector<std::string> copies(args);
  for (std::string& s : copies) argv.push_back(s.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  pid_t pid = -1;
  const int nError = posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  close(err[1]);
  if (nError != 0) {
    close(out[0]);
    close(err[0]);
    *pstrError = std::string("cannot start the program: ") + std::strerror(nError);
    return 0;
  }
  fcntl(out[0], F_SETFL, fcntl(out[0], F_GETFL) | O_NONBLOCK);
  fcntl(err[0], F_SETFL, fcntl(err[0], F_GETFL) | O_NONBLOCK);
  c.pid = pid;
  c.fdOut = out[0];
  c.fdErr = err[0];
  return 1;
}

bool ChildProcess::Running() const { return m_pImpl->pid > 0 && !m_pImpl->bEnded; }
int ChildProcess::ExitCode() const { return m_pImpl->nExit; }
int ChildProcess::Signal() const { return m_pImpl->nSignal; }

void ChildProcess::Stop(int nSignal) {
  if (Running()) kill(m_pImpl->pid, nSignal);
}

void ChildProcess::Kill() {
  if (Running()) kill(m_pImpl->pid, SIGKILL);
}

std::string ChildProcess::TakeOut() { return std::exchange(m_pImpl->strOut, {}); }
std::string ChildProcess::TakeErr() { return std::exchange(m_pImpl->strErr, {}); }

bool ChildProcess::Finished() const {
  const Impl& c = *m_pImpl;
  return (c.pid < 0 || c.bEnded) && c.fdOut < 0 && c.fdErr < 0;
}

void WaitChildren(const std::vector<ChildProcess*>& children, int nMilliseconds) {
  std::vector<pollfd> fds;
  for (ChildProcess* p : children)
    for (int fd : {p->m_pImpl->fdOut, p->m_pImpl->fdErr})
      if (fd >= 0) fds.push_back({fd, POLLIN, 0});
  // A child that has closed its pipes but not yet ended is looked at again
  // after a short wait; nothing else wakes the poll for it.
  bool bOnlyEnds = fds.empty();
  if (!bOnlyEnds) poll(fds.data(), fds.size(), nMilliseconds);
  for (ChildProcess* p : children) {
    ChildProcess::Impl& c = *p->m_pImpl;
    ChildProcess::Impl::Drain(c.fdOut, c.strOut);
    ChildProcess::Impl::Drain(c.fdErr, c.strErr);
    if (c.fdOut < 0 && c.fdErr < 0) {
      c.Reap(WNOHANG);
      if (!c.bEnded && bOnlyEnds) {
        usleep(static_cast<useconds_t>(nMilliseconds < 20 ? nMilliseconds : 20) * 1000);
        c.Reap(WNOHANG);
      }
    } else {
      c.Reap(WNOHANG);
    }
  }
}

}  // namespace platform
