// POSIX serial ports with the semantics of the Win32 serial calls: termios for
// the line settings, poll() for the read and write time-outs, flock() plus
// TIOCEXCL for exclusive access. Only descriptors opened here are accepted, so
// a stray handle can never close or configure a descriptor of someone else.
// On Linux an open port is put in low-latency mode while it is held.
#include "platform/serial.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#ifdef __linux__
#include <linux/serial.h>
#endif

#include <cerrno>
#include <cstring>
#include <chrono>
#include <map>
#include <mutex>
#include <string>

#include "platform/ports.h"
#include "platform/signals.h"

namespace platform {

namespace {

constexpr std::uint32_t kMaxDword = 0xFFFFFFFFu;

struct PortRecord {
  CommState state;        // the fields termios cannot hold are kept here
  CommTimeouts timeouts;  // zero: reads and writes wait without limit, as on Windows
  bool bLowLatencySet = false;  // this open turned low-latency mode on; closing turns it off
  bool bFoundSaved = false;     // tioFound holds the settings the port had when opened
  termios tioFound{};
};

std::mutex g_portsLock;
std::map<int, PortRecord> g_ports;

bool FindPort(SerialHandle h, PortRecord& out) {
  std::lock_guard<std::mutex> lock(g_portsLock);
  auto it = g_ports.find(static_cast<int>(h));
  if (it == g_ports.end()) {
    errno = EBADF;
    return false;
  }
  out = it->second;
  return true;
}

bool IsKnown(SerialHandle h) {
  PortRecord rec;
  return FindPort(h, rec);
}

// Low-latency mode: the driver hands received bytes on at once instead of
// batching them, and a USB-serial adapter's latency timer (FTDI: 16 ms by
// default) drops to 1 ms, so that every short reply of the device is not
// held back. Devices without the setting (a pseudo-terminal, a driver that
// refuses) are left as they are, without a word. Returns true when this call
// turned the mode on.
bool EnterLowLatency(int fd) {
#ifdef __linux__
  serial_struct ss{};
  if (ioctl(fd, TIOCGSERIAL, &ss) != 0 || (ss.flags & ASYNC_LOW_LATENCY)) return false;
  ss.flags |= ASYNC_LOW_LATENCY;
  return ioctl(fd, TIOCSSERIAL, &ss) == 0;
#else
  (void)fd;
  return false;
#endif
}

void LeaveLowLatency(int fd) {
#ifdef __linux__
  serial_struct ss{};
  if (ioctl(fd, TIOCGSERIAL, &ss) != 0) return;
  ss.flags &= ~ASYNC_LOW_LATENCY;
  (void)ioctl(fd, TIOCSSERIAL, &ss);
#else
  (void)fd;
#endif
}

// Puts back the terminal settings (speed, format, raw mode, flags) the port
// had when it was opened, as careful serial tools do, so that a console or
// another program finds the line as it left it. The bytes already written
// go out at the speed they were written for: the output queue is given up
// to two seconds to empty (a line held by XOFF would otherwise hold the
// close for ever), then the settings change after the last byte left.
void RestoreFoundSettings(int fd, const termios& tioFound) {
  int nQueued = 0;
  for (int i = 0; i < 200 && ioctl(fd, TIOCOUTQ, &nQueued) == 0 && nQueued > 0; ++i) {
    pollfd pfd{-1, 0, 0};
    (void)::poll(&pfd, 0, 10);
  }
  (void)tcsetattr(fd, nQueued > 0 ? TCSANOW : TCSADRAIN, &tioFound);
}

struct BaudEntry {
  std::uint32_t baud;
  speed_t speed;
};

constexpr BaudEntry kBauds[] = {
    {110, B110},       {300, B300},       {600, B600},       {1200, B1200},     {2400, B2400},
    {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
    {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

bool SpeedOfBaud(std::uint32_t baud, speed_t& speed) {
  for (const auto& e : kBauds) {
    if (e.baud == baud) {
      speed = e.speed;
      return true;
    }
  }
  return false;
}

std::uint32_t BaudOfSpeed(speed_t speed) {
  for (const auto& e : kBauds) {
    if (e.speed == speed) return e.baud;
  }
  return 0;
}

// Modem lines: a pseudo-terminal or an adapter without them refuses the
// ioctl, which is not an error for the program.
void SetModemLine(int fd, int line, bool on) {
  int bits = line;
  (void)ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bits);
}

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  if (left <= 0) return 0;
  return left > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(left);
}

// A stop signal (platform/signals.h) ends a wait on the line at once, like a
// cancelled Win32 call: the signal breaks poll() with EINTR and the loop
// comes back here before it waits again.
bool StoppedBySignal(std::uint32_t done, std::uint32_t* pdwCount) {
  if (StopSignal() == 0) return false;
  if (pdwCount) *pdwCount = done;
  errno = EINTR;
  return true;
}

}  // namespace

SerialHandle OpenComPort(int n) {
  std::string strPath = ComPortPath(n);
  if (strPath.empty()) {
    errno = ENOENT;
    return kInvalidHandle;
  }
  int fd = ::open(strPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return kInvalidHandle;
  // Exclusive as a Windows COM port with no sharing: flock holds off every
  // other opener that asks (root included), TIOCEXCL the others.
  if (!isatty(fd) || flock(fd, LOCK_EX | LOCK_NB) != 0) {
    int err = isatty(fd) ? EBUSY : ENOTTY;
    ::close(fd);
    errno = err;
    return kInvalidHandle;
  }
  (void)ioctl(fd, TIOCEXCL);

  // A COM port carries bytes unchanged: no line editing, echo, signals or
  // translations; receiver on, modem status lines ignored; reads return what
  // is there (the time-outs are ours). The line settings (speed, format,
  // flow control) stay as the port has them, as a Windows COM port keeps its
  // settings from one open to the next.
  termios tio{};
  if (tcgetattr(fd, &tio) != 0) {
    int err = errno;
    (void)ioctl(fd, TIOCNXCL);
    ::close(fd);
    errno = err;
    return kInvalidHandle;
  }
  const termios tioFound = tio;
  tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL);
  tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  tio.c_cflag |= CLOCAL | CREAD;
  // VMIN 1: with O_NONBLOCK an empty line then reads as EAGAIN; with 0 a
  // read returns 0 as if at end of file.
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;
  (void)tcsetattr(fd, TCSANOW, &tio);

  PortRecord rec;
  rec.bLowLatencySet = EnterLowLatency(fd);
  rec.bFoundSaved = true;
  rec.tioFound = tioFound;
  rec.state.fBinary = true;
  rec.state.fDtrControl = 1;
  rec.state.fRtsControl = 1;
  rec.state.XonLim = 2048;
  rec.state.XoffLim = 512;
  {
    std::lock_guard<std::mutex> lock(g_portsLock);
    g_ports[fd] = rec;
  }
  return fd;
}

bool GetCommState(SerialHandle h, CommState& state) {
  PortRecord rec;
  if (!FindPort(h, rec)) return false;
  int fd = static_cast<int>(h);
  termios tio{};
  if (tcgetattr(fd, &tio) != 0) return false;
  state = rec.state;
  state.BaudRate = BaudOfSpeed(cfgetospeed(&tio));
  switch (tio.c_cflag & CSIZE) {
    case CS5: state.ByteSize = 5; break;
    case CS6: state.ByteSize = 6; break;
    case CS7: state.ByteSize = 7; break;
    default: state.ByteSize = 8; break;
  }
  if (!(tio.c_cflag & PARENB)) {
    state.Parity = 0;
  } else {
#ifdef CMSPAR
    if (tio.c_cflag & CMSPAR) {
      state.Parity = (tio.c_cflag & PARODD) ? 3 : 4;
    } else
#endif
    {
      state.Parity = (tio.c_cflag & PARODD) ? 1 : 2;
    }
  }
  if (tio.c_cflag & CSTOPB) {
    // The record keeps which of the two "more than one" codes was asked for.
    state.StopBits = rec.state.StopBits == 1 ? 1 : 2;
  } else {
    state.StopBits = 0;
  }
  state.fParity = (tio.c_iflag & INPCK) != 0;
  state.fOutX = (tio.c_iflag & IXON) != 0;
  state.fInX = (tio.c_iflag & IXOFF) != 0;
  state.XonChar = static_cast<char>(tio.c_cc[VSTART]);
  state.XoffChar = static_cast<char>(tio.c_cc[VSTOP]);
  return true;
}

bool SetCommState(SerialHandle h, const CommState& state) {
  PortRecord rec;
  if (!FindPort(h, rec)) return false;
  int fd = static_cast<int>(h);
  speed_t speed = B0;
  // The checks Windows makes before it touches the port: on failure the
  // port keeps its old settings.
  if (!SpeedOfBaud(state.BaudRate, speed) || state.ByteSize < 5 || state.ByteSize > 8 || state.Parity > 4 ||
      state.StopBits > 2 || ((state.fOutX || state.fInX) && state.XonChar == state.XoffChar)) {
    errno = EINVAL;
    return false;
  }
#ifndef CMSPAR
  if (state.Parity > 2) {
    errno = EINVAL;
    return false;
  }
#endif
  termios tio{};
  if (tcgetattr(fd, &tio) != 0) return false;
  cfsetispeed(&tio, speed);
  cfsetospeed(&tio, speed);
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
#ifdef CMSPAR
  tio.c_cflag &= ~static_cast<tcflag_t>(CMSPAR);
#endif
  static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  tio.c_cflag |= kSizes[state.ByteSize - 5] | CLOCAL | CREAD;
  switch (state.Parity) {
    case 1: tio.c_cflag |= PARENB | PARODD; break;
    case 2: tio.c_cflag |= PARENB; break;
#ifdef CMSPAR
    case 3: tio.c_cflag |= PARENB | PARODD | CMSPAR; break;
    case 4: tio.c_cflag |= PARENB | CMSPAR; break;
#endif
    default: break;
  }
  if (state.StopBits != 0) tio.c_cflag |= CSTOPB;
  if (state.fOutxCtsFlow || state.fRtsControl == 2) tio.c_cflag |= CRTSCTS;
  // Software flow control as the record says; IXANY has no Windows
  // counterpart and stays off, so only XON resumes output.
  tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
  if (state.fOutX) tio.c_iflag |= IXON;
  if (state.fInX) tio.c_iflag |= IXOFF;
  if (state.fParity) tio.c_iflag |= INPCK;
  tio.c_cc[VSTART] = static_cast<cc_t>(state.XonChar);
  tio.c_cc[VSTOP] = static_cast<cc_t>(state.XoffChar);
  if (tcsetattr(fd, TCSANOW, &tio) != 0) return false;

  if (state.fDtrControl != 2) SetModemLine(fd, TIOCM_DTR, state.fDtrControl == 1);
  if (state.fRtsControl != 2) SetModemLine(fd, TIOCM_RTS, state.fRtsControl == 1 || state.fRtsControl == 3);

  std::lock_guard<std::mutex> lock(g_portsLock);
  auto it = g_ports.find(fd);
  if (it != g_ports.end()) it->second.state = state;
  return true;
}

bool GetCommTimeouts(SerialHandle h, CommTimeouts& timeouts) {
  PortRecord rec;
  if (!FindPort(h, rec)) return false;
  timeouts = rec.timeouts;
  return true;
}

bool SetCommTimeouts(SerialHandle h, const CommTimeouts& timeouts) {
  std::lock_guard<std::mutex> lock(g_portsLock);
  auto it = g_ports.find(static_cast<int>(h));
  if (it == g_ports.end()) {
    errno = EBADF;
    return false;
  }
  it->second.timeouts = timeouts;
  return true;
}

bool WriteFile(SerialHandle h, const void* buffer, std::uint32_t length, std::uint32_t* pdwCount) {
  if (pdwCount) *pdwCount = 0;
  PortRecord rec;
  if (!FindPort(h, rec)) return false;
  int fd = static_cast<int>(h);
  const auto* p = static_cast<const unsigned char*>(buffer);
  // Total write time-out: multiplier per byte plus constant; none when both are 0.
  std::uint64_t total = std::uint64_t{rec.timeouts.WriteTotalTimeoutMultiplier} * length +
                        rec.timeouts.WriteTotalTimeoutConstant;
  bool bLimited = total != 0;
  Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(bLimited ? total : 0);
  std::uint32_t done = 0;
  while (done < length) {
    ssize_t k = ::write(fd, p + done, length - done);
    if (k > 0) {
      done += static_cast<std::uint32_t>(k);
      continue;
    }
    if (k < 0 && errno == EINTR) continue;
    if (k < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      if (pdwCount) *pdwCount = done;
      return false;  // device error, or the other end is gone
    }
    int wait = bLimited ? RemainingMs(deadline) : -1;
    if (bLimited && wait == 0) break;  // time-out: success with what went out
    if (StoppedBySignal(done, pdwCount)) return false;
    pollfd pfd{fd, POLLOUT, 0};
    int r = ::poll(&pfd, 1, wait);
    if (r < 0 && errno != EINTR) {
      if (pdwCount) *pdwCount = done;
      return false;
    }
    if (r > 0 && (pfd.revents & (POLLERR | POLLNVAL))) {
      if (pdwCount) *pdwCount = done;
      errno = EIO;
      return false;
    }
  }
  if (pdwCount) *pdwCount = done;
  return true;
}

bool ReadFile(SerialHandle h, void* buffer, std::uint32_t length, std::uint32_t* pdwCount) {
  if (pdwCount) *pdwCount = 0;
  PortRecord rec;
  if (!FindPort(h, rec)) return false;
  int fd = static_cast<int>(h);
  auto* p = static_cast<unsigned char*>(buffer);
  const CommTimeouts& t = rec.timeouts;

  // The Win32 rules for serial reads:
  //  - interval MAXDWORD, multiplier and constant 0: return at once with what is there;
  //  - interval and multiplier MAXDWORD, constant between: return at once if
  //    anything is there, else wait up to the constant for the first byte;
  //  - otherwise a total limit of multiplier * length + constant (none when
  //    both are 0) and, once a byte has come, an interval limit between bytes
  //    (none when 0).
  bool bImmediate = t.ReadIntervalTimeout == kMaxDword && t.ReadTotalTimeoutMultiplier == 0 &&
                    t.ReadTotalTimeoutConstant == 0;
  bool bFirstByteOnly = t.ReadIntervalTimeout == kMaxDword && t.ReadTotalTimeoutMultiplier == kMaxDword &&
                        t.ReadTotalTimeoutConstant != 0 && t.ReadTotalTimeoutConstant != kMaxDword;
  std::uint64_t total = 0;
  if (bFirstByteOnly) {
    total = t.ReadTotalTimeoutConstant;
  } else if (!bImmediate) {
    total = std::uint64_t{t.ReadTotalTimeoutMultiplier} * length + t.ReadTotalTimeoutConstant;
  }
  bool bTotal = total != 0 || bImmediate;
  bool bInterval = !bImmediate && !bFirstByteOnly && t.ReadIntervalTimeout != 0;
  Clock::time_point start = Clock::now();
  Clock::time_point deadline = start + std::chrono::milliseconds(total);
  Clock::time_point intervalDeadline = start;

  std::uint32_t done = 0;
  while (done < length) {
    ssize_t k = ::read(fd, p + done, length - done);
    if (k > 0) {
      done += static_cast<std::uint32_t>(k);
      if (bFirstByteOnly) break;
      if (bInterval) intervalDeadline = Clock::now() + std::chrono::milliseconds(t.ReadIntervalTimeout);
      continue;
    }
    if (k < 0 && errno == EINTR) continue;
    if (k == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
      // End of file or EIO: the device or the far end of the line is gone.
      if (pdwCount) *pdwCount = done;
      if (k == 0) errno = EIO;
      return false;
    }
    if (bImmediate) break;
    int wait = -1;
    if (bTotal) wait = RemainingMs(deadline);
    if (bInterval && done > 0) {
      int w = RemainingMs(intervalDeadline);
      wait = wait < 0 ? w : (w < wait ? w : wait);
    }
    if (wait == 0) break;  // time-out: success with what arrived
    if (StoppedBySignal(done, pdwCount)) return false;
    pollfd pfd{fd, POLLIN, 0};
    int r = ::poll(&pfd, 1, wait);
    if (r < 0 && errno != EINTR) {
      if (pdwCount) *pdwCount = done;
      return false;
    }
    if (r > 0 && (pfd.revents & POLLNVAL)) {
      if (pdwCount) *pdwCount = done;
      errno = EBADF;
      return false;
    }
    // POLLHUP/POLLERR: the next read reports the failure.
  }
  if (pdwCount) *pdwCount = done;
  return true;
}

bool PurgeComm(SerialHandle h, std::uint32_t flags) {
  if (flags & ~(kPurgeTxAbort | kPurgeRxAbort | kPurgeTxClear | kPurgeRxClear)) {
    errno = EINVAL;
    return false;
  }
  if (!IsKnown(h)) return false;
  int fd = static_cast<int>(h);
  // Transfers are synchronous, so there is nothing pending to abort.
  bool bRx = (flags & kPurgeRxClear) != 0;
  bool bTx = (flags & kPurgeTxClear) != 0;
  if (bRx && bTx) return tcflush(fd, TCIOFLUSH) == 0;
  if (bRx) return tcflush(fd, TCIFLUSH) == 0;
  if (bTx) return tcflush(fd, TCOFLUSH) == 0;
  return true;
}

bool CloseHandle(SerialHandle h) {
  int fd = static_cast<int>(h);
  bool bLowLatencySet = false;
  PortRecord rec;
  {
    std::lock_guard<std::mutex> lock(g_portsLock);
    auto it = g_ports.find(fd);
    if (it == g_ports.end()) {
      errno = EBADF;
      return false;
    }
    rec = it->second;
    bLowLatencySet = it->second.bLowLatencySet;
    g_ports.erase(it);
  }
  // The port is left as it was found.
  if (rec.bFoundSaved) RestoreFoundSettings(fd, rec.tioFound);
  if (bLowLatencySet) LeaveLowLatency(fd);
  (void)ioctl(fd, TIOCNXCL);
  return ::close(fd) == 0;
}

std::string LastErrorText() { return std::strerror(errno); }

}  // namespace platform
