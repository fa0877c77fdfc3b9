// Stand-in GPIB library for tests only: plays the power supply in-process.
// Built as libgpib.so.0 (linux-gpib's names: ibsta, iberr, ibcnt, ibcntl) and
// as GPIB-32.DLL (NI-488.2's names: user_ibsta, user_iberr, user_ibcnt,
// user_ibcntl; functions __stdcall, exported undecorated). It is placed apart
// from the product's executables so it can never pass for the real library.
//
// Configuration: the environment variable QRTSIM_GPIB holds qrtsim's options
// (e.g. QRTSIM_GPIB="--family 14x0 --channels 4 --report /tmp/gpib.json
// --fault main:e2@5"), read at the first call. --ibdev-fail makes ibdev fail.
//
// Behaviour: ibwrt feeds the bytes to the simulated device; ibrd returns up
// to count bytes of its answer at once (fewer if fewer are waiting, with END
// set when nothing more is waiting); with nothing to return it reports a
// time-out (ERR|TIMO, iberr EABO) without waiting the descriptor's 3 s.
// The report gains a "gpib" member with every ibdev and ibonl call and the
// read/write counts; it is written at each ibonl and when the library is
// unloaded. ibwrt hands every byte of a write to the device at once, in
// order, whatever the count.
//
// Time model, for the benchmarks (both 0 unless set, read at the first call):
//   QRTSIM_GPIB_CALL_US=N  every call (ibdev, ibwrt, ibrd, ibonl) first costs
//                          N microseconds, as the round trip to a USB-GPIB
//                          controller does;
//   QRTSIM_GPIB_BYTE_US=N  every byte on the bus, either way, takes N
//                          microseconds: the handshake with the device,
//                          whose pace the slowest listener sets.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "sim/SimEngine.h"
#include "sim/SimOptions.h"
#include "sim/SimReport.h"

#ifdef _WIN32
#define GPIB_VISIBLE __declspec(dllexport)
#define GPIB_CALL __stdcall
#define GPIB_VAR(name) user_##name
#else
#define GPIB_VISIBLE __attribute__((visibility("default")))
#define GPIB_CALL
#define GPIB_VAR(name) name
#endif
#define GPIB_EXPORT extern "C" GPIB_VISIBLE

// The status variables, read by the caller after each call.
extern "C" {
GPIB_VISIBLE int GPIB_VAR(ibsta) = 0;
GPIB_VISIBLE int GPIB_VAR(iberr) = 0;
GPIB_VISIBLE int GPIB_VAR(ibcnt) = 0;
GPIB_VISIBLE long GPIB_VAR(ibcntl) = 0;
}

namespace {

// Status bits and error codes of the NI-488.2 / linux-gpib interface.
constexpr int kErr = 0x8000;
constexpr int kTimo = 0x4000;
constexpr int kEnd = 0x2000;
constexpr int kCmpl = 0x0100;
constexpr int kEdvr = 0;
constexpr int kEarg = 4;
constexpr int kEabo = 6;
constexpr int kEneb = 7;

struct IbdevCall {
  int nBoard, nPad, nSad, nTmo, nEot, nEos, nResult;
};

using Clock = std::chrono::steady_clock;

// Microseconds from the environment variable, 0 when unset; a value that
// is not a whole number up to one second is refused with a message.
long MicrosecondsOf(const char* pszName) {
  const char* psz = std::getenv(pszName);
  if (!psz || !*psz) return 0;
  char* pEnd = nullptr;
  long n = std::strtol(psz, &pEnd, 10);
  if (*pEnd != '\0' || n < 0 || n > 1000000) {
    std::fprintf(stderr, "stand-in GPIB library: %s must be 0 to 1000000 microseconds (using 0)\n", pszName);
    return 0;
  }
  return n;
}

// Waits until the moment: asleep while more than a scheduler's slack
// remains, then on the clock, so that waits of a tenth of a millisecond
// come out at their length.
void WaitUntil(Clock::time_point until) {
  constexpr auto kSlack = std::chrono::microseconds(200);
  Clock::time_point now = Clock::now();
  if (until - now > kSlack) std::this_thread::sleep_until(until - kSlack);
  while (Clock::now() < until) {
  }
}

class Standin {
 public:
  Standin() {
    const char* pszEnv = std::getenv("QRTSIM_GPIB");
    std::string strError;
    if (pszEnv && !sim::ParseSimArgs(sim::SplitArgs(pszEnv), m_opts, strError)) {
      std::fprintf(stderr, "stand-in GPIB library: QRTSIM_GPIB: %s (using defaults)\n", strError.c_str());
      m_opts = sim::SimOptions();
    }
    m_engine = std::make_unique<sim::SimEngine>(m_opts.config);
    m_callCost = std::chrono::microseconds(MicrosecondsOf("QRTSIM_GPIB_CALL_US"));
    m_byteTime = std::chrono::microseconds(MicrosecondsOf("QRTSIM_GPIB_BYTE_US"));
  }

  // The round trip of one call.
  void CallCost() {
    if (m_callCost.count() > 0) WaitUntil(Clock::now() + m_callCost);
  }
  // n bytes over the bus.
  void BusTime(long n) {
    if (m_byteTime.count() > 0 && n > 0) WaitUntil(Clock::now() + m_byteTime * n);
  }
  ~Standin() { Save(); }

  void Status(int nSta, int nErr, long nCount) {
    GPIB_VAR(ibsta) = nSta;
    GPIB_VAR(iberr) = nErr;
    GPIB_VAR(ibcnt) = static_cast<int>(nCount);
    GPIB_VAR(ibcntl) = nCount;
  }

  bool Online(int ud) const {
    for (int n : m_online) {
      if (n == ud) return true;
    }
    return false;
  }

  int Ibdev(int nBoard, int nPad, int nSad, int nTmo, int nEot, int nEos) {
    CallCost();
    int ud = -1;
    if (m_opts.bIbdevFail || nBoard != 0 || nPad < 0 || nPad > 30) {
      Status(kErr | kCmpl, kEneb, 0);
    } else {
      ud = m_nNextUd++;
      m_online.push_back(ud);
      Status(kCmpl, 0, 0);
    }
    m_ibdev.push_back({nBoard, nPad, nSad, nTmo, nEot, nEos, ud});
    return ud;
  }

  int Ibwrt(int ud, const void* pBuf, long nCount) {
    CallCost();
    ++m_nWrites;
    if (!Online(ud)) {
      Status(kErr | kCmpl, kEdvr, 0);
    } else if (nCount < 0 || (nCount > 0 && !pBuf)) {
      Status(kErr | kCmpl, kEarg, 0);
    } else {
      BusTime(nCount);
      m_engine->Receive(pBuf, static_cast<std::size_t>(nCount));
      m_nBytesWritten += nCount;
      Status(kCmpl, 0, nCount);
    }
    return GPIB_VAR(ibsta);
  }

  int Ibrd(int ud, void* pBuf, long nCount) {
    CallCost();
    ++m_nReads;
    if (!Online(ud)) {
      Status(kErr | kCmpl, kEdvr, 0);
      return GPIB_VAR(ibsta);
    }
    if (nCount < 0 || (nCount > 0 && !pBuf)) {
      Status(kErr | kCmpl, kEarg, 0);
      return GPIB_VAR(ibsta);
    }
    // The PC reads only after its command is written whole, so the line is
    // quiet now: a lone "FWU" can be settled.
    if (m_strPending.empty() && !m_engine->HasOutput()) m_engine->Idle();
    m_strPending += m_engine->TakeOutput();
    long nTaken = std::min<long>(nCount, static_cast<long>(m_strPending.size()));
    BusTime(nTaken);
    if (nTaken > 0) std::memcpy(pBuf, m_strPending.data(), static_cast<std::size_t>(nTaken));
    m_strPending.erase(0, static_cast<std::size_t>(nTaken));
    if (nTaken == 0 && nCount > 0) {
      ++m_nTimeouts;
      Status(kErr | kTimo | kCmpl, kEabo, 0);
    } else {
      Status(kCmpl | (m_strPending.empty() ? kEnd : 0), 0, nTaken);
    }
    return GPIB_VAR(ibsta);
  }

  int Ibonl(int ud, int v) {
    CallCost();
    m_ibonl.push_back({ud, v});
    if (!Online(ud)) {
      Status(kErr | kCmpl, kEdvr, 0);
    } else {
      if (v == 0) {
        for (std::size_t i = 0; i < m_online.size(); ++i) {
          if (m_online[i] == ud) m_online.erase(m_online.begin() + static_cast<std::ptrdiff_t>(i));
        }
        m_strPending.clear();
      }
      Status(kCmpl, 0, 0);
    }
    int nSta = GPIB_VAR(ibsta);
    Save();
    return nSta;
  }

  void Save() {
    if (!m_opts.strReport.empty()) {
      std::string s = "\"gpib\": {\"ibdev\": [";
      for (std::size_t i = 0; i < m_ibdev.size(); ++i) {
        const IbdevCall& c = m_ibdev[i];
        s += i ? ", " : "";
        s += "{\"board\": " + std::to_string(c.nBoard) + ", \"pad\": " + std::to_string(c.nPad) +
             ", \"sad\": " + std::to_string(c.nSad) + ", \"tmo\": " + std::to_string(c.nTmo) +
             ", \"eot\": " + std::to_string(c.nEot) + ", \"eos\": " + std::to_string(c.nEos) +
             ", \"result\": " + std::to_string(c.nResult) + "}";
      }
      s += "], \"ibonl\": [";
      for (std::size_t i = 0; i < m_ibonl.size(); ++i) {
        s += i ? ", " : "";
        s += "{\"ud\": " + std::to_string(m_ibonl[i].first) + ", \"v\": " + std::to_string(m_ibonl[i].second) + "}";
      }
      s += "], \"ibwrt_calls\": " + std::to_string(m_nWrites) + ", \"ibwrt_bytes\": " + std::to_string(m_nBytesWritten) +
           ", \"ibrd_calls\": " + std::to_string(m_nReads) + ", \"ibrd_timeouts\": " + std::to_string(m_nTimeouts) +
           ", \"call_us\": " + std::to_string(m_callCost.count()) + ", \"byte_us\": " + std::to_string(m_byteTime.count()) +
           "}";
      sim::WriteWholeFile(m_opts.strReport, m_engine->ReportJson(s));
    }
    if (!m_opts.strDumpDir.empty()) sim::WriteDumps(*m_engine, m_opts.strDumpDir);
  }

 private:
  sim::SimOptions m_opts;
  std::unique_ptr<sim::SimEngine> m_engine;
  std::string m_strPending;
  std::vector<int> m_online;
  int m_nNextUd = 1;
  std::vector<IbdevCall> m_ibdev;
  std::vector<std::pair<int, int>> m_ibonl;
  long m_nWrites = 0;
  long m_nReads = 0;
  long m_nTimeouts = 0;
  long m_nBytesWritten = 0;
  std::chrono::microseconds m_callCost{0};
  std::chrono::microseconds m_byteTime{0};
};

Standin& TheStandin() {
  static Standin standin;
  return standin;
}

}  // namespace

GPIB_EXPORT int GPIB_CALL ibdev(int board, int pad, int sad, int tmo, int eot, int eos) {
  return TheStandin().Ibdev(board, pad, sad, tmo, eot, eos);
}

GPIB_EXPORT int GPIB_CALL ibwrt(int ud, const void* buf, long count) { return TheStandin().Ibwrt(ud, buf, count); }

GPIB_EXPORT int GPIB_CALL ibrd(int ud, void* buf, long count) { return TheStandin().Ibrd(ud, buf, count); }

GPIB_EXPORT int GPIB_CALL ibonl(int ud, int v) { return TheStandin().Ibonl(ud, v); }

GPIB_EXPORT int GPIB_CALL ThreadIbsta() { return GPIB_VAR(ibsta); }
GPIB_EXPORT int GPIB_CALL ThreadIberr() { return GPIB_VAR(iberr); }
GPIB_EXPORT int GPIB_CALL ThreadIbcnt() { return GPIB_VAR(ibcnt); }
GPIB_EXPORT long GPIB_CALL ThreadIbcntl() { return GPIB_VAR(ibcntl); }
