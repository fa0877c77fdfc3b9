// A tiny stand-in for the GPIB library, for the binding's tests only: it
// exports the status variables under this system's names and ibdev, ibwrt,
// ibrd and ibonl, records what it was given and answers a reply that the
// test sets. Built in variants: without the status variable (a library the
// binding must refuse) and, on Linux, with the per-thread count reader in
// place of the count variable (an older linux-gpib).
#include <cstring>
#include <string>

#ifdef _WIN32
#define FAKE_EXPORT extern "C" __declspec(dllexport)
#define FAKE_DATA __declspec(dllexport)
#define FAKE_CALL __stdcall
#define STATUS_NAME user_ibsta
#define ERROR_NAME user_iberr
#define COUNT_NAME user_ibcntl
#else
#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))
#define FAKE_DATA __attribute__((visibility("default")))
#define FAKE_CALL
#define STATUS_NAME ibsta
#define ERROR_NAME iberr
#define COUNT_NAME ibcntl
#endif

extern "C" {
#ifndef FAKE_WITHOUT_STATUS
FAKE_DATA volatile int STATUS_NAME = 0;
#define SET_STATUS(v) (STATUS_NAME = (v))
#else
static volatile int g_status = 0;
#define SET_STATUS(v) (g_status = (v))
#endif
FAKE_DATA volatile int ERROR_NAME = 0;

#ifdef FAKE_COUNT_READER
static volatile long g_count = 0;
FAKE_EXPORT long FAKE_CALL ThreadIbcntl(void) { return g_count; }
#define SET_COUNT(v) (g_count = (v))
#else
FAKE_DATA volatile long COUNT_NAME = 0;
#define SET_COUNT(v) (COUNT_NAME = (v))
#endif
}

namespace {
std::string g_strWritten;
std::string g_strReply;
bool g_bCountOverride = false;
long g_nCountOverride = 0;
int g_aDevArgs[6] = {};
int g_nOnline = -1;
int g_nCalls = 0;
int g_nWrites = 0;
long g_nWriteLimit = -1;  // at most this many bytes taken per ibwrt; -1: all
bool g_bWriteError = false;
constexpr int kErr = 0x8000;
constexpr int kCmpl = 0x100;
constexpr int kEnd = 0x2000;
}  // namespace

FAKE_EXPORT int FAKE_CALL ibdev(int board, int pad, int sad, int tmo, int eot, int eos) {
  ++g_nCalls;
  int args[6] = {board, pad, sad, tmo, eot, eos};
  std::memcpy(g_aDevArgs, args, sizeof args);
  SET_STATUS(kCmpl);
  ERROR_NAME = 0;
  SET_COUNT(0);
  return 7;
}

FAKE_EXPORT int FAKE_CALL ibwrt(int, const void* buf, long cnt) {
  ++g_nCalls;
  ++g_nWrites;
  long n = (g_nWriteLimit >= 0 && g_nWriteLimit < cnt) ? g_nWriteLimit : cnt;
  g_strWritten.append(static_cast<const char*>(buf), static_cast<size_t>(n));
  int nSta = g_bWriteError ? (kErr | kCmpl) : kCmpl;
  SET_STATUS(nSta);
  SET_COUNT(n);
  return nSta;
}

FAKE_EXPORT int FAKE_CALL ibrd(int, void* buf, long cnt) {
  ++g_nCalls;
  long n = static_cast<long>(g_strReply.size());
  if (n > cnt) n = cnt;
  std::memcpy(buf, g_strReply.data(), static_cast<size_t>(n));
  SET_STATUS(kCmpl | kEnd);
  SET_COUNT(g_bCountOverride ? g_nCountOverride : n);
  return kCmpl | kEnd;
}

FAKE_EXPORT int FAKE_CALL ibonl(int, int v) {
  ++g_nCalls;
  g_nOnline = v;
  SET_STATUS(kCmpl);
  SET_COUNT(0);
  return kCmpl;
}

#ifndef FAKE_WITHOUT_STATUS
FAKE_EXPORT int FAKE_CALL ThreadIbsta(void) { return STATUS_NAME; }
#endif

// ---- test controls (C calling convention) ------------------------------------
FAKE_EXPORT void fake_set_reply(const char* reply) { g_strReply = reply; }
FAKE_EXPORT void fake_set_count_override(int enable, long value) {
  g_bCountOverride = enable != 0;
  g_nCountOverride = value;
}
// Later writes take at most limit bytes (-1: all), with ERR set when error.
FAKE_EXPORT void fake_set_write(long limit, int error) {
  g_nWriteLimit = limit;
  g_bWriteError = error != 0;
}
FAKE_EXPORT int fake_writes() { return g_nWrites; }
FAKE_EXPORT void fake_clear_written() { g_strWritten.clear(); }
FAKE_EXPORT int fake_written(char* out, int max) {
  int n = static_cast<int>(g_strWritten.size());
  if (n > max) n = max;
  std::memcpy(out, g_strWritten.data(), static_cast<size_t>(n));
  return n;
}
FAKE_EXPORT void fake_dev_args(int* out) { std::memcpy(out, g_aDevArgs, sizeof g_aDevArgs); }
FAKE_EXPORT int fake_online() { return g_nOnline; }
FAKE_EXPORT int fake_calls() { return g_nCalls; }
