// A device stand-in on the master side of a real pseudo-terminal. The program
// under test opens the slave as its COM port and steers the peer with bytes:
//   'E' b      answer b
//   'G'        answer "AB", pause 1 s, answer "CD" (a gap inside a reply)
//   'P'        answer "XYZ"
//   'N'        answer 'Q', a NUL byte, 'R'
//   'L'        answer 60 'x' characters
//   '#' text LF  the reply to "*idn?" from now on ("" keeps silent)
//   "*idn?"    answer the identification
//   'H'        answer "OK", then hang up (close the master)
// Anything else is taken in silently. Every byte received is recorded.
#pragma once
#include <atomic>
#include <mutex>
#include <string>
#include <thread>

class PtyPeer {
 public:
  PtyPeer();
  ~PtyPeer();
  PtyPeer(const PtyPeer&) = delete;
  PtyPeer& operator=(const PtyPeer&) = delete;

  bool Ok() const { return m_fdMaster >= 0; }
  const std::string& SlavePath() const { return m_strSlave; }
  int Master() const { return m_fdMaster; }

  // Serves the protocol on a thread of this process until Stop or a hang-up.
  void Start();
  // Serves on the calling thread until a hang-up or until nSeconds pass.
  void Serve(int nSeconds);
  void Stop();
  // Closes the master at once: the line is gone.
  void HangUp();
  // Stops reading (the line is held up; writes to it block once full).
  void SetReading(bool bReading) { m_bReading = bReading; }

  std::string Received();
  bool HungUp() const { return m_bHungUp; }

 private:
  void Loop(int nSeconds);
  void Handle(unsigned char ch);
  void Send(const std::string& str);

  int m_fdMaster = -1;
  int m_fdSlave = -1;
  std::string m_strSlave;
  std::thread m_thread;
  std::atomic<bool> m_bStop{false};
  std::atomic<bool> m_bHungUp{false};
  std::atomic<bool> m_bReading{true};
  std::mutex m_lock;
  std::string m_strReceived;
  // Protocol state.
  enum class Mode { Command, Echo, IdnText } m_mode = Mode::Command;
  std::string m_strIdn = "Talvo Instruments - QRT1230";
  std::string m_strIdnPending;
  std::string m_strLast5;
};
