// qrtsim: a simulated QRT power supply on a pseudo-terminal.
//
// The program under test opens the slave side as its serial port; qrtsim
// plays the device's side of the firmware-update protocol (sim/SimEngine.h)
// on the master side, records every command and page it receives, and can
// inject faults.
//
//   qrtsim [options]
//
// The first line on standard output is the pty slave's path (e.g. /dev/pts/5),
// printed once the port is ready. Point the updater at it, e.g.
// QRTUPDATE_COM3=/dev/pts/5, or under Wine link $WINEPREFIX/dosdevices/com3
// to it.
//
// Options (also "--opt=value"):
//   --family 12x0|14x0     family identification "QRT1230" or "QRT1440" (default 14x0)
//   --channels N           channel controllers present, 1..4 (default 4; 3 with
//                          --family 12x0). Selecting a channel beyond N gets silence.
//   --main-version S       8 version characters of the main controller (default 02030000)
//   --channel-version S    8 version characters of each channel controller (default 01050000);
//                          "N=S" sets channel N's only (repeatable)
//   --idn S                reply to "*idn?" (default "Talvo Instruments - QRT1230,0,V2.04",
//                          35 characters: exactly what the identification check reads)
//   --close-char C         closing character after a channel transfer (default C)
//   --fault F[,F..]        inject faults (repeatable). F is TARGET:KIND[@K][=VALUE]
//                          with TARGET main or ch1..ch4 and K the 1-based page:
//                            ident[=S]     wrong identification (default QRT0000 / QRT0000CH)
//                            silent[@K]    no reply at all (from page K on, with @K)
//                            announce[=S]  wrong echo of the page-count announcement
//                            addr@K[=S]    wrong echo of page K's address
//                            noa1@K[=S]    page K's data answered S (default E1), not A1
//                            e2@K          page K's checksum answered E2
//                            badsum@K[=S]  page K's checksum answered S (default X2)
//                            noclose       no closing character after a channel transfer
//                            noise[=S]     send S unasked after this transfer (default the
//                                          identification between CR LFs): stale bytes
//                                          before the updater's next command
//                            hangup        drop off the line after this transfer: qrtsim
//                                          closes the pty, so later writes fail (EIO)
//                            late[@K]=MS   every reply MS milliseconds late (with @K only
//                                          page K's: address echo, A1, checksum reply)
//                            slow[@K]=MS   every reply character MS milliseconds after the
//                                          one before (with @K only page K's replies)
//                          e.g. --fault main:e2@5 --fault ch2:noa1@3 --fault main:silent
//   --baud N               emulate the wire at N baud (10 bits per character) in both
//                          directions: a received character reaches the device one
//                          character time after the previous one, and each sent
//                          character leaves one character time after the previous one.
//                          0 (default) = no pacing.
//   --adapter-latency MS   play a USB-serial adapter (FTDI style) between the device and
//                          the PC: what the device sends reaches the PC only at the ticks
//                          of a free-running MS-millisecond latency timer, or at once when
//                          62 bytes (one USB packet) are buffered. 1..255; 0 (default) = none.
//                          The PC side of the model (one USB frame per write call) is
//                          sim/adapter's preloaded library.
//   --tty PATH             serve the existing terminal device PATH instead of a new pty:
//                          the device's end of a line whose far end is the PC's (a USB
//                          gadget's serial function /dev/ttyGS0, whose PC side is a
//                          /dev/ttyACM port; a null-modem cable). It is set raw at 19200
//                          baud and its path printed first. When the line goes away (the
//                          device reads end of file or fails) qrtsim ends; the hangup
//                          fault closes it.
//   --link PATH            also create the symlink PATH to the slave (an existing symlink
//                          is replaced, anything else refused; removed at exit)
//   --report FILE          write the JSON record (commands, pages per controller, see
//                          sim/SimReport.h) after every "FWUE" and at exit
//   --dump-dir DIR         write DIR/main.bin, DIR/ch1.bin ...: the page bytes each
//                          controller received, concatenated in order (equal to the
//                          first N pages of the container sent), at "FWUE" and at exit
//   --exit-after-fwue      exit once "FWUE" has been received
//   --max-seconds T        exit after T seconds whatever happens (a guard for tests)
//   --verbose              log every command on standard error
//   --help                 this list
//   --version              print the program version
//
// qrtsim ends on SIGTERM, SIGINT or SIGHUP (writing the report first), after
// "FWUE" with --exit-after-fwue, or after --max-seconds. The updater may open
// and close the slave as often as it likes: qrtsim holds only the master, so
// the port's exclusive-use flag is cleared by the kernel at each last close.
//
// Exit status: 0 normal end, 1 the pty or a file could not be set up,
// 2 bad options.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "sim/SimEngine.h"
#include "sim/SimOptions.h"
#include "sim/SimReport.h"
#include "qrt_version.h"

namespace {

using Clock = std::chrono::steady_clock;

volatile sig_atomic_t g_bStop = 0;

constexpr std::size_t kMaxPendingOutput = 65536;

// The payload of one full-speed USB packet of an FTDI adapter (64 bytes less
// two status bytes): a full packet goes to the PC without waiting.
constexpr std::size_t kAdapterPacket = 62;

void OnSignal(int) { g_bStop = 1; }

struct TimedByte {
  char c;
  Clock::time_point due;
};

void Usage(FILE* pFile) {
  std::fputs(
      "usage: qrtsim [--family 12x0|14x0] [--channels N] [--main-version S] [--channel-version [N=]S]\n"
      "              [--idn S] [--close-char C] [--fault TARGET:KIND[@K][=VALUE]]... [--baud N]\n"
      "              [--adapter-latency MS] [--tty PATH]\n"
      "              [--link PATH] [--report FILE] [--dump-dir DIR] [--exit-after-fwue]\n"
      "              [--max-seconds T] [--verbose] [--help] [--version]\n"
      "fault kinds: ident silent announce addr noa1 e2 badsum noclose noise hangup late slow; targets: main ch1..ch4\n",
      pFile);
}

class Runner {
 public:
  explicit Runner(const sim::SimOptions& opts) : m_opts(opts), m_engine(opts.config) {}

  int Run();

 private:
  int OpenPty();
  int OpenTty();
  void ReadInput(Clock::time_point now);
  void Deliver(Clock::time_point now);
  void Flush(Clock::time_point now);
  std::size_t Releasable(Clock::time_point now);
  Clock::time_point LastTick(Clock::time_point now) const;
  void SaveRecord();
  void WaitUntilTaken();
  void RemoveLink();
  void LogNewCommands();

  sim::SimOptions m_opts;
  sim::SimEngine m_engine;
  int m_fdMaster = -1;       // the pty's master, or the --tty device
  bool m_bTty = false;       // serving an existing terminal device (--tty)
  bool m_bLineGone = false;  // the --tty device's line went away
  std::string m_strSlave;
  Clock::duration m_charTime{0};
  std::deque<TimedByte> m_rx;  // received, not yet reached the device
  std::deque<TimedByte> m_tx;  // answered, not yet on the wire
  Clock::time_point m_rxLast;
  Clock::time_point m_txLast;
  Clock::time_point m_lastInput;
  Clock::duration m_adapterTick{0};  // the adapter's latency timer; 0: no adapter
  Clock::time_point m_start;         // the timer runs from here
  std::size_t m_nReleased = 0;       // bytes at the front of m_tx the adapter has let go
  bool m_bIdleDone = true;
  std::size_t m_nLogged = 0;
};

int Runner::OpenPty() {
  int fdSlave = -1;
  char szName[256] = {0};
  if (openpty(&m_fdMaster, &fdSlave, szName, nullptr, nullptr) != 0) {
    std::fprintf(stderr, "qrtsim: openpty failed: %s\n", std::strerror(errno));
    return 0;
  }
  // Raw, 8 data bits, no echo: the state a serial device line starts in.
  termios tio{};
  if (tcgetattr(fdSlave, &tio) == 0) {
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&tio, B19200);
    cfsetospeed(&tio, B19200);
    tcsetattr(fdSlave, TCSANOW, &tio);
  }
  // Only the master is held: while the slave is closed the master reports a
  // hang-up, which the loop waits out.
  close(fdSlave);
  int nFlags = fcntl(m_fdMaster, F_GETFL);
  fcntl(m_fdMaster, F_SETFL, nFlags | O_NONBLOCK);
  fcntl(m_fdMaster, F_SETFD, FD_CLOEXEC);
  m_strSlave = szName;
  return 1;
}

// An existing terminal device: the device's end of a line whose far end is
// the PC's.
int Runner::OpenTty() {
  m_fdMaster = open(m_opts.strTty.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (m_fdMaster < 0) {
    std::fprintf(stderr, "qrtsim: cannot open %s: %s\n", m_opts.strTty.c_str(), std::strerror(errno));
    return 0;
  }
  termios tio{};
  if (tcgetattr(m_fdMaster, &tio) != 0) {
    std::fprintf(stderr, "qrtsim: %s is not a terminal device\n", m_opts.strTty.c_str());
    close(m_fdMaster);
    m_fdMaster = -1;
    return 0;
  }
  cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  cfsetispeed(&tio, B19200);
  cfsetospeed(&tio, B19200);
  if (tcsetattr(m_fdMaster, TCSANOW, &tio) != 0) {
    std::fprintf(stderr, "qrtsim: cannot set %s raw: %s\n", m_opts.strTty.c_str(), std::strerror(errno));
    close(m_fdMaster);
    m_fdMaster = -1;
    return 0;
  }
  // Whatever an earlier user left in the queues is not for this device.
  tcflush(m_fdMaster, TCIOFLUSH);
  m_strSlave = m_opts.strTty;
  m_bTty = true;
  return 1;
}

void Runner::ReadInput(Clock::time_point now) {
  char buf[4096];
  for (;;) {
    ssize_t n = read(m_fdMaster, buf, sizeof buf);
    // A terminal device that was hung up reads end of file (or fails with
    // EIO): its line is gone for good. A pty's master fails with EIO only
    // while no one holds the slave, which is no reason to stop.
    if (m_bTty && (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))) m_bLineGone = true;
    if (n <= 0) return;  // EAGAIN, or EIO while no one holds the slave
    for (ssize_t i = 0; i < n; ++i) {
      Clock::time_point due = now;
      if (m_charTime.count() > 0) {
        due = std::max(now, m_rxLast) + m_charTime;
        m_rxLast = due;
      }
      m_rx.push_back({buf[i], due});
    }
  }
}

void Runner::Deliver(Clock::time_point now) {
  while (!m_rx.empty() && m_rx.front().due <= now) {
    m_engine.Receive(m_rx.front().c);
    m_rx.pop_front();
    m_lastInput = now;
    m_bIdleDone = false;
  }
  std::vector<unsigned> delaysMs;
  std::string strOut = m_engine.TakeOutput(&delaysMs);
  for (std::size_t i = 0; i < strOut.size(); ++i) {
    // Like a device's transmit buffer: what does not fit is lost (only a
    // flood of queries nobody reads gets here).
    if (m_tx.size() >= kMaxPendingOutput) break;
    // A late or slow reply (a fault) waits after the character before it,
    // as the wire's own character time does.
    const Clock::duration delay = std::chrono::milliseconds(i < delaysMs.size() ? delaysMs[i] : 0);
    Clock::time_point due = now;
    if (m_charTime.count() > 0 || delay.count() > 0) {
      due = std::max(now, m_txLast) + m_charTime + delay;
      m_txLast = due;
    }
    m_tx.push_back({strOut[i], due});
  }
}

Clock::time_point Runner::LastTick(Clock::time_point now) const {
  return m_start + ((now - m_start) / m_adapterTick) * m_adapterTick;
}

// How many answered bytes the PC may have now: those whose wire time is
// over; behind an adapter, only those it has let go, at a tick of its
// latency timer or as a full packet.
std::size_t Runner::Releasable(Clock::time_point now) {
  std::size_t nArrived = 0;
  while (nArrived < m_tx.size() && m_tx[nArrived].due <= now) ++nArrived;
  if (m_adapterTick.count() == 0) return nArrived;
  const Clock::time_point tick = LastTick(now);
  std::size_t nAtTick = m_nReleased;
  while (nAtTick < nArrived && m_tx[nAtTick].due <= tick) ++nAtTick;
  m_nReleased = nAtTick;
  while (nArrived - m_nReleased >= kAdapterPacket) m_nReleased += kAdapterPacket;
  return m_nReleased;
}

void Runner::Flush(Clock::time_point now) {
  std::size_t n = Releasable(now);
  if (n == 0) return;
  std::string strBatch;
  for (std::size_t i = 0; i < n; ++i) strBatch += m_tx[i].c;
  ssize_t nWritten = write(m_fdMaster, strBatch.data(), strBatch.size());
  std::size_t nGone = 0;
  if (nWritten > 0) {
    nGone = static_cast<std::size_t>(nWritten);
  } else if (nWritten < 0 && errno == EIO) {
    // No one holds the port: what the device says is lost, as on a cable
    // with nothing at the other end.
    nGone = n;
  }
  m_tx.erase(m_tx.begin(), m_tx.begin() + static_cast<std::ptrdiff_t>(nGone));
  m_nReleased = m_nReleased > nGone ? m_nReleased - nGone : 0;
}

// A hang-up discards what the updater has not read yet. Waits (at most two
// seconds) until the slave's input queue is empty, looking at it through a
// descriptor of our own; without one, a short pause has to do. The updater
// writes again only after its purge and pause, so the line must go as soon
// as the queue is empty: the caller closes the master next.
void Runner::WaitUntilTaken() {
  if (m_bTty) {
    // Our own device: wait until its output queue has gone on the line.
    for (int i = 0; i < 400; ++i) {
      int nQueued = 0;
      if (ioctl(m_fdMaster, TIOCOUTQ, &nQueued) != 0 || nQueued == 0) break;
      usleep(5000);
    }
    return;
  }
  int fd = open(m_strSlave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    usleep(50000);
    return;
  }
  for (int i = 0; i < 2000; ++i) {
    // What was written to the master reaches the slave's queue through the
    // kernel's flip buffer a moment later; polling the slave pushes it
    // through first, so an empty queue means really taken.
    pollfd pfd{fd, POLLIN, 0};
    poll(&pfd, 1, 0);
    int nQueued = 0;
    if (ioctl(fd, FIONREAD, &nQueued) != 0 || nQueued == 0) break;
    usleep(1000);
  }
  close(fd);
}

// Removes the link at exit only while it is still ours (it may have been
// replaced meanwhile by a file or another run's link).
void Runner::RemoveLink() {
  if (m_opts.strLink.empty()) return;
  char szTarget[512];
  ssize_t n = readlink(m_opts.strLink.c_str(), szTarget, sizeof szTarget - 1);
  if (n < 0) return;
  szTarget[n] = '\0';
  if (m_strSlave == szTarget) unlink(m_opts.strLink.c_str());
}

void Runner::SaveRecord() {
  if (!m_opts.strReport.empty() && !sim::WriteWholeFile(m_opts.strReport, m_engine.ReportJson())) {
    std::fprintf(stderr, "qrtsim: cannot write report %s\n", m_opts.strReport.c_str());
  }
  if (!m_opts.strDumpDir.empty() && !sim::WriteDumps(m_engine, m_opts.strDumpDir)) {
    std::fprintf(stderr, "qrtsim: cannot write dumps into %s\n", m_opts.strDumpDir.c_str());
  }
}

void Runner::LogNewCommands() {
  if (!m_opts.bVerbose) return;
  std::vector<std::string> commands = m_engine.Commands();
  // The last entries may be provisional (an exchange still running).
  while (m_nLogged < commands.size()) {
    const std::string& str = commands[m_nLogged];
    if (m_nLogged + 1 == commands.size() && (str.compare(0, 6, "pages ") == 0 || str == "FWU")) break;
    std::fprintf(stderr, "qrtsim: %s\n", str.c_str());
    ++m_nLogged;
  }
}

int Runner::Run() {
  if (!(m_opts.strTty.empty() ? OpenPty() : OpenTty())) return 1;
  // A device answers in its own time, whatever else the PC is busy with.
  // The simulator shares the PC's processors, so it asks to be scheduled
  // ahead of ordinary work where the system lets it (root, CAP_SYS_NICE):
  // a machine kept busy must not make the device miss the 700 ms the
  // program waits for a reply. Without that right it runs as it is.
  (void)setpriority(PRIO_PROCESS, 0, -10);
  if (m_opts.nBaud > 0) {
    m_charTime = std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(10000000000ULL / m_opts.nBaud));
    // Character times at high baud rates are tens of microseconds.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
  }
  if (m_opts.nAdapterLatencyMs > 0) {
    m_adapterTick = std::chrono::milliseconds(m_opts.nAdapterLatencyMs);
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
  }
  if (!m_opts.strLink.empty()) {
    // Only a link (a stale one of an earlier run) is replaced: a file or
    // folder of that name is someone's data.
    struct stat st {};
    if (lstat(m_opts.strLink.c_str(), &st) == 0) {
      if (!S_ISLNK(st.st_mode)) {
        std::fprintf(stderr, "qrtsim: --link %s exists and is not a symbolic link; left alone\n",
                     m_opts.strLink.c_str());
        close(m_fdMaster);
        return 1;
      }
      unlink(m_opts.strLink.c_str());
    }
    if (symlink(m_strSlave.c_str(), m_opts.strLink.c_str()) != 0) {
      std::fprintf(stderr, "qrtsim: cannot create link %s: %s\n", m_opts.strLink.c_str(), std::strerror(errno));
      close(m_fdMaster);
      return 1;
    }
  }
  std::printf("%s\n", m_strSlave.c_str());
  std::fflush(stdout);

  // Signals are taken only while waiting, so a stop never interrupts a step.
  sigset_t block, waitMask;
  sigemptyset(&block);
  sigaddset(&block, SIGTERM);
  sigaddset(&block, SIGINT);
  sigaddset(&block, SIGHUP);
  sigprocmask(SIG_BLOCK, &block, &waitMask);
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGHUP, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);

  Clock::time_point start = Clock::now();
  m_rxLast = m_txLast = m_lastInput = m_start = start;
  int nFwueSeen = 0;
  const auto kIdleAfter = std::chrono::milliseconds(500);
  const auto kSpinAhead = std::chrono::microseconds(300);
  while (!g_bStop) {
    Clock::time_point now = Clock::now();
    ReadInput(now);
    Deliver(now);
    Flush(now);
    if (!m_bIdleDone && m_rx.empty() && now - m_lastInput >= kIdleAfter) {
      m_engine.Idle();
      m_bIdleDone = true;
      Deliver(now);
    }
    LogNewCommands();
    if (m_bLineGone) {
      std::fprintf(stderr, "qrtsim: %s hung up: the line is gone\n", m_strSlave.c_str());
      break;
    }
    if (m_engine.FwueCount() > nFwueSeen) {
      nFwueSeen = m_engine.FwueCount();
      SaveRecord();
    }
    // A device that dropped off the line: once its last words are on the
    // wire, the line goes (the updater's writes fail from then on).
    if (m_engine.HungUp() && m_tx.empty()) {
      if (m_opts.bVerbose) std::fprintf(stderr, "qrtsim: hanging up\n");
      WaitUntilTaken();
      // The line goes first; the record is written after it.
      close(m_fdMaster);
      m_fdMaster = -1;
      break;
    }
    // Ends once everything received has been answered.
    if (m_opts.bExitAfterFwue && nFwueSeen > 0 && m_tx.empty() && m_rx.empty()) break;
    if (m_opts.dMaxSeconds > 0 && now - start >= std::chrono::duration<double>(m_opts.dMaxSeconds)) {
      std::fprintf(stderr, "qrtsim: --max-seconds reached\n");
      break;
    }
    // Sleep until the next byte is due, input arrives, or the idle tick.
    Clock::duration wait = std::chrono::milliseconds(200);
    if (!m_rx.empty()) wait = std::min(wait, m_rx.front().due - now);
    // Output that is due but was not taken (the updater reads nothing and
    // the pty is full) waits for room rather than for a clock.
    bool bBlocked = !m_tx.empty() && m_tx.front().due <= now;
    if (m_adapterTick.count() > 0) {
      // Behind the adapter the next release is the next tick or the
      // moment a packet fills.
      bBlocked = m_nReleased > 0;
      if (!m_tx.empty() && !bBlocked) {
        wait = std::min(wait, LastTick(now) + m_adapterTick - now);
        if (m_tx.size() >= kAdapterPacket) wait = std::min(wait, m_tx[kAdapterPacket - 1].due - now);
      }
    } else if (!m_tx.empty() && !bBlocked) {
      wait = std::min(wait, m_tx.front().due - now);
    }
    if (!m_bIdleDone) wait = std::min(wait, m_lastInput + kIdleAfter - now);
    // The last byte of a message decides when the other side may answer:
    // its moment is met by spinning through the last stretch, since a
    // timer's wake-up comes tens to hundreds of microseconds late, and on
    // a paced line that lateness adds up over thousands of exchanges.
    if (m_charTime.count() > 0) {
      Clock::time_point last = Clock::time_point::max();
      if (m_rx.size() == 1) last = m_rx.front().due;
      if (m_tx.size() == 1 && !bBlocked && m_adapterTick.count() == 0) last = std::min(last, m_tx.front().due);
      if (last != Clock::time_point::max()) wait = std::min(wait, last - kSpinAhead - now);
    }
    if (wait < Clock::duration::zero()) wait = Clock::duration::zero();
    auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
    timespec ts{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    pollfd pfd{m_fdMaster, static_cast<short>(POLLIN | (bBlocked ? POLLOUT : 0)), 0};
    int nReady = ppoll(&pfd, 1, &ts, &waitMask);
    if (nReady > 0 && (pfd.revents & POLLHUP) && !(pfd.revents & POLLIN)) {
      // The slave is closed (not opened yet, or the updater closed it).
      timespec tsNap{0, std::min<long>(10000000L, static_cast<long>(ns))};
      ppoll(nullptr, 0, &tsNap, &waitMask);
    }
  }
  LogNewCommands();
  SaveRecord();
  RemoveLink();
  if (m_fdMaster >= 0) close(m_fdMaster);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  sim::SimOptions opts;
  std::string strError;
  if (!sim::ParseSimArgs(args, opts, strError)) {
    std::fprintf(stderr, "qrtsim: %s\n", strError.c_str());
    Usage(stderr);
    return 2;
  }
  if (opts.bHelp) {
    Usage(stdout);
    return 0;
  }
  if (opts.bVersion) {
    std::printf("qrtsim %s\n", QRT_VERSION);
    return 0;
  }
  Runner runner(opts);
  return runner.Run();
}
