// Windows child processes: CreateProcess of the program's own module with
// inherited anonymous pipes for standard output and error, read with
// PeekNamedPipe so that one thread watches every child. A stop is passed on
// through an event the children inherit (see signals.cpp).
#include "platform/childprocess.h"

#include <windows.h>

#include <string>
#include <utility>

#include "platform/signals.h"

namespace platform {

namespace {

// One argument as CommandLineToArgvW and the C runtime split it again:
// quoted when it holds a space, a tab or a quote (or is empty); a quote is
// escaped with a backslash, and backslashes right before a quote (or before
// the closing quote) are doubled.
std::string QuoteArgument(const std::string& s) {
  if (!s.empty() && s.find_first_of(" \t\n\v\"") == std::string::npos) return s;
  std::string r = "\"";
  std::size_t nBackslashes = 0;
  for (char ch : s) {
    if (ch == '\\') {
      ++nBackslashes;
      continue;
    }
    if (ch == '"') {
      r.append(nBackslashes * 2 + 1, '\\');
    } else {
      r.append(nBackslashes, '\\');
    }
    nBackslashes = 0;
    r += ch;
  }
  r.append(nBackslashes * 2, '\\');
  r += '"';
  return r;
}

// The stop event every child inherits; made on the first start.
HANDLE g_hStopEvent = nullptr;

std::string SystemReason(DWORD dwError) {
  char buf[512] = {};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, dwError, 0, buf,
                           sizeof buf, nullptr);
  while (n > 0 && (buf[n - 1] == '\n' || buf[n - 1] == '\r' || buf[n - 1] == ' ')) buf[--n] = 0;
  return n ? std::string(buf) : "error " + std::to_string(dwError);
}

}  // namespace

struct ChildProcess::Impl {
  HANDLE hProcess = nullptr;
  bool bEnded = false;
  int nExit = -1;
  HANDLE hOut = nullptr;
  HANDLE hErr = nullptr;
  std::string strOut, strErr;

  static void Close(HANDLE& h) {
    if (h) CloseHandle(h);
    h = nullptr;
  }
  // Reads what one pipe holds now; closes it once the child's end is gone.
  // Returns whether anything came.
  static bool Drain(HANDLE& h, std::string& strTo) {
    bool bAny = false;
    while (h) {
      DWORD dwAvail = 0;
      if (!PeekNamedPipe(h, nullptr, 0, nullptr, &dwAvail, nullptr)) {
        Close(h);  // broken pipe: the child and everything it started are gone
        return true;
      }
      if (dwAvail == 0) return bAny;
      char buf[4096];
      DWORD dwRead = 0;
      if (!ReadFile(h, buf, dwAvail < sizeof buf ? dwAvail : sizeof buf, &dwRead, nullptr) || dwRead == 0) {
        Close(h);
        return true;
      }
      strTo.append(buf, dwRead);
      bAny = true;
    }
    return bAny;
  }
  bool Reap() {
    if (!hProcess || bEnded) return false;
    if (WaitForSingleObject(hProcess, 0) != WAIT_OBJECT_0) return false;
    DWORD dwCode = 0;
    GetExitCodeProcess(hProcess, &dwCode);
    nExit = static_cast<int>(dwCode);
    bEnded = true;
    return true;
  }
};

ChildProcess::ChildProcess() : m_pImpl(std::make_unique<Impl>()) {}

ChildProcess::~ChildProcess() {
  Impl& c = *m_pImpl;
  if (c.hProcess && !c.bEnded) {
    TerminateProcess(c.hProcess, 1);
    WaitForSingleObject(c.hProcess, 5000);
  }
  Impl::Close(c.hProcess);
  Impl::Close(c.hOut);
  Impl::Close(c.hErr);
}

int ChildProcess::Start(const std::vector<std::string>& args, std::string* pstrError) {
  Impl& c = *m_pImpl;
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  if (!g_hStopEvent) {
    g_hStopEvent = CreateEventA(&sa, TRUE, FALSE, nullptr);
    if (!g_hStopEvent) {
      *pstrError = "cannot make the stop event: " + SystemReason(GetLastError());
      return 0;
    }
    SetEnvironmentVariableA(kChildStopEventVariable, std::to_string(reinterpret_cast<UINT_PTR>(g_hStopEvent)).c_str());
  }
  HANDLE hOutRead = nullptr, hOutWrite = nullptr, hErrRead = nullptr, hErrWrite = nullptr;
  if (!CreatePipe(&hOutRead, &hOutWrite, &sa, 0) || !CreatePipe(&hErrRead, &hErrWrite, &sa, 0)) {
    *pstrError = "cannot make a pipe: " + SystemReason(GetLastError());
    for (HANDLE h : {hOutRead, hOutWrite, hErrRead, hErrWrite})
      if (h) CloseHandle(h);
    return 0;
  }
  // Only the write ends go to the child; the read ends stay here.
  SetHandleInformation(hOutRead, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(hErrRead, HANDLE_FLAG_INHERIT, 0);

  char szModule[MAX_PATH + 1] = {};
  GetModuleFileNameA(nullptr, szModule, MAX_PATH);
  std::string strLine = QuoteArgument(szModule);
  for (const std::string& a : args) strLine += " " + QuoteArgument(a);

  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  si.hStdOutput = hOutWrite;
  si.hStdError = hErrWrite;
  PROCESS_INFORMATION pi{};
  const BOOL bOk = CreateProcessA(szModule, strLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
  const DWORD dwError = GetLastError();
  // Closed here at once, so that a child started later does not inherit
  // them too and the pipe ends when this child ends.
  CloseHandle(hOutWrite);
  CloseHandle(hErrWrite);
  if (!bOk) {
    CloseHandle(hOutRead);
    CloseHandle(hErrRead);
    *pstrError = "cannot start the program: " + SystemReason(dwError);
    return 0;
  }
  CloseHandle(pi.hThread);
  c.hProcess = pi.hProcess;
  c.hOut = hOutRead;
  c.hErr = hErrRead;
  return 1;
}

bool ChildProcess::Running() const { return m_pImpl->hProcess && !m_pImpl->bEnded; }
int ChildProcess::ExitCode() const { return m_pImpl->nExit; }
int ChildProcess::Signal() const { return 0; }

void ChildProcess::Stop(int) {
  // Every child watches the same event: a stop is for all of them.
  if (g_hStopEvent) SetEvent(g_hStopEvent);
}

void ChildProcess::Kill() {
  if (Running()) TerminateProcess(m_pImpl->hProcess, 1);
}

std::string ChildProcess::TakeOut() { return std::exchange(m_pImpl->strOut, {}); }
std::string ChildProcess::TakeErr() { return std::exchange(m_pImpl->strErr, {}); }

bool ChildProcess::Finished() const {
  const Impl& c = *m_pImpl;
  return (!c.hProcess || c.bEnded) && !c.hOut && !c.hErr;
}

void WaitChildren(const std::vector<ChildProcess*>& children, int nMilliseconds) {
  const DWORD dwStart = GetTickCount();
  for (;;) {
    bool bAny = false;
    for (ChildProcess* p : children) {
      ChildProcess::Impl& c = *p->m_pImpl;
      bAny = ChildProcess::Impl::Drain(c.hOut, c.strOut) || bAny;
      bAny = ChildProcess::Impl::Drain(c.hErr, c.strErr) || bAny;
      bAny = c.Reap() || bAny;
    }
    if (bAny || StopSignal() != 0) return;
    if (GetTickCount() - dwStart >= static_cast<DWORD>(nMilliseconds)) return;
    ::Sleep(10);
  }
}

}  // namespace platform
