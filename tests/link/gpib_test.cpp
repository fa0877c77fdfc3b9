// The GPIB binding against no library, a library it must refuse, and a
// stand-in library; and the device link and identification check over it.
// Each scenario is its own process (a loaded library stays loaded), chosen by
// QRT_GPIB_SCENARIO; the build points the library search at the right folder.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#ifdef _WIN32
#include <windows.h>
#undef LoadLibrary  // the platform layer's own name
#else
#include <dlfcn.h>
#endif

#include "app/UpdateApp.h"
#include "app/UpdateDialog.h"
#include "link/GpibLibrary.h"
#include "platform/dynlib.h"
#include "platform/gpib_abi.h"
#include "ui/memory/MemoryFrontEnd.h"

namespace {

std::string Scenario() {
  const char* env = std::getenv("QRT_GPIB_SCENARIO");
  return env ? env : "";
}

#define REQUIRE_SCENARIO(name) \
  if (Scenario() != name) GTEST_SKIP() << "scenario " name " only (QRT_GPIB_SCENARIO)"

constexpr std::int32_t kCmpl = 0x100;
#ifdef _WIN32
constexpr std::int32_t kModuleNotFound = 126;  // ERROR_MOD_NOT_FOUND
constexpr std::int32_t kProcNotFound = 127;    // ERROR_PROC_NOT_FOUND
#else
constexpr std::int32_t kModuleNotFound = 126;  // what the POSIX layer reports alike
constexpr std::int32_t kProcNotFound = 127;
#endif

bool LibraryIsMapped() {
#ifdef _WIN32
  return GetModuleHandleA(platform::kGpibLibraryName) != nullptr;
#else
  void* h = dlopen(platform::kGpibLibraryName, RTLD_NOW | RTLD_NOLOAD);
  if (h) dlclose(h);
  return h != nullptr;
#endif
}

void ExpectErrorState(std::int32_t nCode) {
  EXPECT_EQ(gpib::kErr, gpib::ibsta);
  EXPECT_EQ(gpib::kEdvr, gpib::iberr);
  EXPECT_EQ(nCode, gpib::ibcnt);
  EXPECT_EQ(nCode, gpib::ibcntl);
}

// The stand-in's controls, reached through the library the binding loaded.
struct Fake {
  Fake() {
    lib = platform::LoadLibrary(platform::kGpibLibraryName);
    setReply = reinterpret_cast<void (*)(const char*)>(platform::GetProcAddress(lib, "fake_set_reply"));
    countOverride = reinterpret_cast<void (*)(int, long)>(platform::GetProcAddress(lib, "fake_set_count_override"));
    written = reinterpret_cast<int (*)(char*, int)>(platform::GetProcAddress(lib, "fake_written"));
    devArgs = reinterpret_cast<void (*)(int*)>(platform::GetProcAddress(lib, "fake_dev_args"));
    online = reinterpret_cast<int (*)()>(platform::GetProcAddress(lib, "fake_online"));
    calls = reinterpret_cast<int (*)()>(platform::GetProcAddress(lib, "fake_calls"));
    setWrite = reinterpret_cast<void (*)(long, int)>(platform::GetProcAddress(lib, "fake_set_write"));
    writes = reinterpret_cast<int (*)()>(platform::GetProcAddress(lib, "fake_writes"));
    clearWritten = reinterpret_cast<void (*)()>(platform::GetProcAddress(lib, "fake_clear_written"));
  }
  bool Ok() const {
    return setReply && countOverride && written && devArgs && online && calls && setWrite && writes && clearWritten;
  }
  std::string Written() const {
    char buf[256];
    int n = written(buf, sizeof buf);
    return std::string(buf, static_cast<size_t>(n));
  }
  platform::LibHandle lib = nullptr;
  void (*setReply)(const char*) = nullptr;
  void (*countOverride)(int, long) = nullptr;
  int (*written)(char*, int) = nullptr;
  void (*devArgs)(int*) = nullptr;
  int (*online)() = nullptr;
  int (*calls)() = nullptr;
  void (*setWrite)(long, int) = nullptr;
  int (*writes)() = nullptr;
  void (*clearWritten)() = nullptr;
};

// The main window in the in-memory front end, linked over GPIB.
struct GpibDialog {
  explicit GpibDialog(int nDevice) {
    fw::SetFrontEnd(&fe);
    g_strModulePathOverride = "C:\\QRT\\QRT_Update_OP_FWV2.04.exe";
    fw::g_strAppName = AppNameOfPath(g_strModulePathOverride);
    dlg = std::make_unique<UpdateDialog>();
    w = &fe.Open(*dlg);
    dlg->m_nInterface = InterfaceOfAddress(ParseLinkAddress("GPIB"));
    dlg->m_nGpibDevice = nDevice;
  }
  ~GpibDialog() {
    dlg.reset();
    g_strModulePathOverride.clear();
    fw::SetFrontEnd(nullptr);
  }
  ui::MemoryFrontEnd fe;
  std::unique_ptr<UpdateDialog> dlg;
  ui::MemoryWindow* w = nullptr;
};

}  // namespace

TEST(GpibMissing, EveryCallFailsWithTheErrorStateAndLoadingIsRetried) {
  REQUIRE_SCENARIO("missing");
  const char* pszLate = std::getenv("QRT_GPIB_LATE_DIR");
  std::filesystem::path late = pszLate ? pszLate : "";
  std::error_code ec;
  if (!late.empty()) std::filesystem::remove(late / platform::kGpibLibraryName, ec);

  EXPECT_EQ(-1, gpib::ibdev(0, 30, 0, 12, 0, 0));
  ExpectErrorState(kModuleNotFound);
  EXPECT_FALSE(gpib::IsLibraryLoaded());
  char buf[4] = {};
  gpib::ibsta = 0;
  EXPECT_EQ(gpib::kErr, gpib::ibwrt(-1, "x", 1));
  EXPECT_EQ(gpib::kErr, gpib::ibrd(-1, buf, 4));
  EXPECT_EQ(gpib::kErr, gpib::ibonl(-1, 0));
  EXPECT_EQ(-1, gpib::ibfindA("GPIB0"));
  EXPECT_EQ(-1, gpib::ibexpert(0, 0, nullptr, nullptr));
  gpib::DevClear(0, 30);  // no result, no effect
  ExpectErrorState(kModuleNotFound);
  EXPECT_EQ(static_cast<int>(gpib::kUnboundReader), gpib::ThreadIbsta());
  EXPECT_EQ(static_cast<long>(gpib::kUnboundReader), gpib::ThreadIbcntl());

  // The device link over a missing library: the count holds an OS error
  // code, yet the reply is empty and nothing outside the buffer is touched.
  {
    GpibDialog d(-1);
    EXPECT_EQ(0, d.dlg->SendByte('*'));
    EXPECT_EQ("", d.dlg->ReceiveString(35));
    EXPECT_EQ("", d.dlg->ReceiveString(49));
    d.fe.Click(*d.dlg, IDC_CHECK);
    ASSERT_EQ(1u, d.fe.m_boxes.size());
    EXPECT_EQ("Unknown device!", d.fe.m_boxes[0].text);
    EXPECT_EQ("", d.w->Find(IDC_LIST)->items.at(0));
  }

  // The library appears while the program runs: the next call loads it.
  const char* pszFake = std::getenv("QRT_GPIB_FAKE");
  if (late.empty() || !pszFake) GTEST_SKIP() << "QRT_GPIB_LATE_DIR / QRT_GPIB_FAKE not set";
  std::filesystem::copy_file(pszFake, late / platform::kGpibLibraryName,
                             std::filesystem::copy_options::overwrite_existing, ec);
  ASSERT_FALSE(ec) << ec.message();
  EXPECT_EQ(7, gpib::ibdev(0, 30, 0, 12, 0, 0));
  EXPECT_TRUE(gpib::IsLibraryLoaded());
  EXPECT_EQ(kCmpl, gpib::ibsta);
  EXPECT_EQ(kCmpl, gpib::ibonl(7, 0));
  std::filesystem::remove(late / platform::kGpibLibraryName, ec);
}

TEST(GpibBroken, ALibraryWithoutItsStatusVariableIsReleasedAndTreatedAsMissing) {
  REQUIRE_SCENARIO("broken");
  for (int i = 0; i < 2; ++i) {
    gpib::ibsta = 0;
    EXPECT_EQ(-1, gpib::ibdev(0, 30, 0, 12, 0, 0));
    ExpectErrorState(kProcNotFound);
    EXPECT_FALSE(gpib::IsLibraryLoaded());
    EXPECT_FALSE(LibraryIsMapped());
  }
  char ch = 'x';
  EXPECT_EQ(gpib::kErr, gpib::ibwrt(3, &ch, 1));
}

TEST(GpibStandin, CallsReachTheLibraryAndItsStatusIsCopied) {
  REQUIRE_SCENARIO("standin");
  EXPECT_EQ(7, gpib::ibdev(0, 30, 0, 12, 0, 0));
  ASSERT_TRUE(gpib::IsLibraryLoaded());
  Fake fake;
  ASSERT_TRUE(fake.Ok());
  int args[6] = {};
  fake.devArgs(args);
  EXPECT_EQ(0, args[0]);
  EXPECT_EQ(30, args[1]);
  EXPECT_EQ(0, args[2]);
  EXPECT_EQ(12, args[3]);
  EXPECT_EQ(0, args[4]);
  EXPECT_EQ(0, args[5]);
  EXPECT_EQ(kCmpl, gpib::ibsta);

  // An entry the library lacks: error state for that call only.
  EXPECT_EQ(gpib::kErr, gpib::ibclr(7));
  ExpectErrorState(kProcNotFound);
  EXPECT_EQ(kCmpl, gpib::ibonl(7, 1));
  EXPECT_EQ(kCmpl, gpib::ibsta);
  EXPECT_EQ(0, gpib::iberr);
  EXPECT_EQ(1, fake.online());

  GpibDialog d(7);
  // A string is one write of all its bytes; an empty one makes no call.
  int nWrites = fake.writes();
  EXPECT_EQ(1, d.dlg->SendString("*idn?"));
  EXPECT_EQ(1, d.dlg->SendString(""));
  EXPECT_EQ("*idn?", fake.Written());
  EXPECT_EQ(nWrites + 1, fake.writes());
  EXPECT_EQ(5, gpib::ibcnt);
  EXPECT_EQ(gpib::ibcnt, gpib::ibcntl);
  // A single byte stays a write of its own.
  EXPECT_EQ(1, d.dlg->SendByte('!'));
  EXPECT_EQ(nWrites + 2, fake.writes());
  EXPECT_EQ("*idn?!", fake.Written());
  // A write the library took only in part, or refused, is not sent.
  fake.clearWritten();
  fake.setWrite(3, 0);
  EXPECT_EQ(0, d.dlg->SendString("FWUE"));
  EXPECT_EQ("FWU", fake.Written());
  EXPECT_EQ(0, gpib::ibsta & gpib::kErr);
  fake.setWrite(-1, 1);
  EXPECT_EQ(0, d.dlg->SendString("FWUE"));
  EXPECT_EQ(0, d.dlg->SendByte('F'));
  fake.setWrite(0, 0);
  EXPECT_EQ(0, d.dlg->SendString("F"));
  fake.setWrite(-1, 0);
  EXPECT_EQ(1, d.dlg->SendString("FWUE"));
  EXPECT_EQ(nWrites + 7, fake.writes());

  // Fewer bytes than asked: exactly those.
  fake.setReply("A1");
  EXPECT_EQ("A1", d.dlg->ReceiveString(8));
  EXPECT_EQ(2, gpib::ibcntl);
  EXPECT_EQ(gpib::ibcnt, gpib::ibcntl);
  // More than asked: the library hands over N.
  fake.setReply("QRT1440 and more");
  EXPECT_EQ("QRT1440", d.dlg->ReceiveString(7));
  // A count the library gets wrong never reaches past the buffer or the
  // bytes asked for.
  fake.countOverride(1, 1000);
  EXPECT_EQ("QRT14", d.dlg->ReceiveString(5));
  fake.countOverride(1, -4);
  EXPECT_EQ("", d.dlg->ReceiveString(5));
  fake.countOverride(0, 0);

  // The identification check over GPIB.
  fake.setReply("Talvo Instruments - QRT1230 GPIB");
  d.fe.Click(*d.dlg, IDC_CHECK);
  fake.setReply("Talvo Instruments - QRT1440");
  d.fe.Click(*d.dlg, IDC_CHECK);
  ASSERT_EQ(2u, d.fe.m_boxes.size());
  EXPECT_EQ("Connected devide identified correctly!", d.fe.m_boxes[0].text);
  EXPECT_EQ("Unknown device!", d.fe.m_boxes[1].text);
  EXPECT_EQ("Talvo Instruments - QRT1440", d.w->Find(IDC_LIST)->items.at(0));
  EXPECT_EQ("Talvo Instruments - QRT1230 GPIB", d.w->Find(IDC_LIST)->items.at(1));

  // Per-thread readers pass through and copy nothing; one the library
  // lacks answers the unbound value.
  EXPECT_EQ(kCmpl, gpib::ibonl(7, 1));
  gpib::ibsta = 0x1234;
  EXPECT_EQ(kCmpl, gpib::ThreadIbsta());
  EXPECT_EQ(0x1234, gpib::ibsta);
  EXPECT_EQ(static_cast<int>(gpib::kUnboundReader), gpib::ThreadIberr());
  ExpectErrorState(kProcNotFound);
  EXPECT_EQ(kCmpl, gpib::ibonl(7, 0));
  EXPECT_EQ(0, fake.online());
}

// The simulator's stand-in library: the check and the counts against the
// simulated power supply (its default identification).
TEST(GpibSim, IdentificationCheckAndCountsAgainstTheSimulator) {
  REQUIRE_SCENARIO("sim");
  const std::string strIdn = "Talvo Instruments - QRT1230,0,V2.04";
  int ud = gpib::ibdev(0, 30, 0, 12, 0, 0);
  ASSERT_GE(ud, 0);
  EXPECT_EQ(0, gpib::ibsta & gpib::kErr);
  GpibDialog d(ud);
  d.fe.Click(*d.dlg, IDC_CHECK);
  ASSERT_EQ(1u, d.fe.m_boxes.size());
  EXPECT_EQ("Connected devide identified correctly!", d.fe.m_boxes[0].text);
  EXPECT_EQ(strIdn, d.w->Find(IDC_LIST)->items.at(0));
  EXPECT_EQ(static_cast<std::int32_t>(strIdn.size()), gpib::ibcntl);
  EXPECT_EQ(gpib::ibcnt, gpib::ibcntl);
  // Fewer bytes than asked for: exactly those.
  d.dlg->SendString("*idn?");
  EXPECT_EQ(strIdn, d.dlg->ReceiveString(49));
  EXPECT_EQ(gpib::ibcnt, gpib::ibcntl);
  // Nothing waiting: an empty reply.
  EXPECT_EQ("", d.dlg->ReceiveString(5));
  EXPECT_EQ(0, gpib::ibonl(ud, 0) & gpib::kErr);
}
