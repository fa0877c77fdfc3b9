// Child processes of the running program: the console updates several ports
// at once by starting itself once per port, each child an ordinary
// single-port run. A child's standard output and standard error come back
// through pipes; its standard input is the parent's.
#pragma once
#include <memory>
#include <string>
#include <vector>

namespace platform {

class ChildProcess {
 public:
  ChildProcess();
  ~ChildProcess();  // a child still running is killed and waited for
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts the running executable, under the name it was started with, with
  // these arguments (not counting the program's name). 1 on success; else 0
  // and the system's reason in *pstrError.
  int Start(const std::vector<std::string>& args, std::string* pstrError);

  bool Running() const;
  // Once ended: the exit status, or the signal (POSIX) that ended it (then
  // ExitCode() is -1). Signal() is 0 for a child that exited.
  int ExitCode() const;
  int Signal() const;

  // Passes a stop on (platform/signals.h numbers): POSIX sends the signal,
  // Windows sets the stop event the child watches. The child then stops as
  // after its own Ctrl-C.
  void Stop(int nSignal);
  // Ends the child at once, without its clean-up (a child that no longer
  // reacts to a stop).
  void Kill();

  // What the child wrote since the last call, standard output and error
  // kept apart. Both pipes are read until the child closes them.
  std::string TakeOut();
  std::string TakeErr();
  // Both pipes closed and the child ended: nothing more will come.
  bool Finished() const;

  struct Impl;
  std::unique_ptr<Impl> m_pImpl;
};

// Waits up to nMilliseconds for output from any child or the end of any,
// reads what there is into the children's buffers and notes the ends.
// Returns earlier as soon as something arrived; also when a stop signal
// interrupts the wait.
void WaitChildren(const std::vector<ChildProcess*>& children, int nMilliseconds);

}  // namespace platform
