#include "tests/link/PtyPeer.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

PtyPeer::PtyPeer() {
  char name[256] = {};
  if (openpty(&m_fdMaster, &m_fdSlave, name, nullptr, nullptr) != 0) {
    m_fdMaster = m_fdSlave = -1;
    return;
  }
  m_strSlave = name;
  termios tio{};
  tcgetattr(m_fdMaster, &tio);
  cfmakeraw(&tio);
  tcsetattr(m_fdMaster, TCSANOW, &tio);
  // The peer keeps a slave descriptor of its own (not locked), so that the
  // master stays readable while the program has not opened the port yet.
  fcntl(m_fdMaster, F_SETFL, fcntl(m_fdMaster, F_GETFL) | O_NONBLOCK);
}

PtyPeer::~PtyPeer() {
  Stop();
  HangUp();
}

void PtyPeer::Start() { m_thread = std::thread([this] { Loop(0); }); }

void PtyPeer::Serve(int nSeconds) { Loop(nSeconds); }

void PtyPeer::Stop() {
  m_bStop = true;
  if (m_thread.joinable()) m_thread.join();
}

void PtyPeer::HangUp() {
  std::lock_guard<std::mutex> lock(m_lock);
  if (m_fdMaster >= 0) ::close(m_fdMaster);
  if (m_fdSlave >= 0) ::close(m_fdSlave);
  m_fdMaster = m_fdSlave = -1;
  m_bHungUp = true;
}

std::string PtyPeer::Received() {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_strReceived;
}

void PtyPeer::Send(const std::string& str) {
  std::lock_guard<std::mutex> lock(m_lock);
  if (m_fdMaster >= 0 && !str.empty()) (void)!::write(m_fdMaster, str.data(), str.size());
}

void PtyPeer::Loop(int nSeconds) {
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(nSeconds);
  while (!m_bStop && !m_bHungUp) {
    if (nSeconds > 0 && std::chrono::steady_clock::now() > end) break;
    int fd = m_fdMaster;
    if (fd < 0) break;
    if (!m_bReading) {
      usleep(20000);
      continue;
    }
    pollfd pfd{fd, POLLIN, 0};
    int r = ::poll(&pfd, 1, 50);
    if (r <= 0) continue;
    unsigned char buf[256];
    ssize_t k = ::read(fd, buf, sizeof buf);
    if (k <= 0) {
      usleep(20000);  // no slave side at the moment
      continue;
    }
    for (ssize_t i = 0; i < k && !m_bHungUp; ++i) {
      {
        std::lock_guard<std::mutex> lock(m_lock);
        m_strReceived += static_cast<char>(buf[i]);
      }
      Handle(buf[i]);
    }
  }
}

void PtyPeer::Handle(unsigned char ch) {
  if (m_mode == Mode::Echo) {
    m_mode = Mode::Command;
    Send(std::string(1, static_cast<char>(ch)));
    return;
  }
  if (m_mode == Mode::IdnText) {
    if (ch == '\n') {
      m_strIdn = m_strIdnPending;
      m_mode = Mode::Command;
    } else {
      m_strIdnPending += static_cast<char>(ch);
    }
    return;
  }
  m_strLast5 += static_cast<char>(ch);
  if (m_strLast5.size() > 5) m_strLast5.erase(0, m_strLast5.size() - 5);
  if (m_strLast5 == "*idn?") {
    Send(m_strIdn);
    m_strLast5.clear();
    return;
  }
  switch (ch) {
    case 'E': m_mode = Mode::Echo; break;
    case 'G':
      Send("AB");
      usleep(1000000);
      Send("CD");
      break;
    case 'P': Send("XYZ"); break;
    case 'L': Send(std::string(60, 'x')); break;
    case 'N': Send(std::string("Q\0R", 3)); break;
    case '#':
      m_strIdnPending.clear();
      m_mode = Mode::IdnText;
      break;
    case 'H':
      Send("OK");
      usleep(100000);
      HangUp();
      break;
    default: break;
  }
}
