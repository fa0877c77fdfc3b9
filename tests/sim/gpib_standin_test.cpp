// The stand-in GPIB library, loaded the way the updater loads the real one
// (by path, symbols by name): a configured device behind ibwrt/ibrd, the
// status variables, and the report of ibdev/ibonl calls.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#ifdef _WIN32
#include <windows.h>
#define GPIB_CALL __stdcall
#else
#include <dlfcn.h>
#define GPIB_CALL
#endif

namespace {

using IbdevFn = int(GPIB_CALL*)(int, int, int, int, int, int);
using IbwrtFn = int(GPIB_CALL*)(int, const void*, long);
using IbrdFn = int(GPIB_CALL*)(int, void*, long);
using IbonlFn = int(GPIB_CALL*)(int, int);

void* Symbol(void* pLib, const char* pszName) {
#ifdef _WIN32
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(pLib), pszName));
#else
  return dlsym(pLib, pszName);
#endif
}

template <typename Fn>
Fn Function(void* pLib, const char* pszName) {
  return reinterpret_cast<Fn>(Symbol(pLib, pszName));
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(GpibStandin, PlaysTheDeviceBehindIbwrtAndIbrd) {
  std::filesystem::path dir = std::filesystem::temp_directory_path() / "qrt_sim_gpib_standin_test";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  std::string strReport = (dir / "gpib.json").string();
  // Read by the library at its first call.
  std::string strConfig = "--family 12x0 --idn 'Talvo Instruments - QRT1230 (GPIB)' --report '" + strReport +
                          "' --dump-dir '" + (dir / "dumps").string() + "'";
#ifdef _WIN32
  _putenv_s("QRTSIM_GPIB", strConfig.c_str());
  void* pLib = reinterpret_cast<void*>(LoadLibraryA(QRT_GPIB_STANDIN));
  const char* kStatus[] = {"user_ibsta", "user_iberr", "user_ibcntl"};
#else
  setenv("QRTSIM_GPIB", strConfig.c_str(), 1);
  void* pLib = dlopen(QRT_GPIB_STANDIN, RTLD_NOW | RTLD_LOCAL);
  const char* kStatus[] = {"ibsta", "iberr", "ibcntl"};
#endif
  ASSERT_NE(nullptr, pLib) << QRT_GPIB_STANDIN;
  auto ibdev = Function<IbdevFn>(pLib, "ibdev");
  auto ibwrt = Function<IbwrtFn>(pLib, "ibwrt");
  auto ibrd = Function<IbrdFn>(pLib, "ibrd");
  auto ibonl = Function<IbonlFn>(pLib, "ibonl");
  ASSERT_TRUE(ibdev && ibwrt && ibrd && ibonl);
  int* pIbsta = static_cast<int*>(Symbol(pLib, kStatus[0]));
  int* pIberr = static_cast<int*>(Symbol(pLib, kStatus[1]));
  long* pIbcntl = static_cast<long*>(Symbol(pLib, kStatus[2]));
  ASSERT_TRUE(pIbsta && pIberr && pIbcntl);

  int ud = ibdev(0, 30, 0, 12, 0, 0);
  ASSERT_GE(ud, 0);
  EXPECT_EQ(0, *pIbsta & 0x8000);
  // One byte per write, as the updater sends.
  for (char c : std::string("FWU0")) {
    ibwrt(ud, &c, 1);
    EXPECT_EQ(1, *pIbcntl);
  }
  char buffer[50] = {0};
  ibrd(ud, buffer, 7);
  EXPECT_EQ(7, *pIbcntl);
  EXPECT_EQ("QRT1230", std::string(buffer, 7));
  EXPECT_EQ(0, *pIbsta & 0x2000) << "more is waiting: no END yet";
  // Fewer bytes waiting than asked for: those, with END.
  ibrd(ud, buffer, 20);
  EXPECT_EQ(8, *pIbcntl);
  EXPECT_EQ("02030000", std::string(buffer, 8));
  EXPECT_NE(0, *pIbsta & 0x2000);
  // Nothing waiting: a time-out.
  ibrd(ud, buffer, 2);
  EXPECT_EQ(0, *pIbcntl);
  EXPECT_EQ(0xC000, *pIbsta & 0xC000);  // ERR | TIMO
  EXPECT_EQ(6, *pIberr);                // EABO

  // One page, the way the updater sends it.
  std::string strPage = "00010100000";
  strPage += "0";
  ibwrt(ud, strPage.data(), static_cast<long>(strPage.size()));
  ibrd(ud, buffer, 6);
  EXPECT_EQ("000101", std::string(buffer, 6));
  ibrd(ud, buffer, 6);
  EXPECT_EQ("000000", std::string(buffer, 6));
  std::string strData(512, '0');
  strData[1] = '7';
  ibwrt(ud, strData.data(), 512);
  EXPECT_EQ(512, *pIbcntl);
  ibrd(ud, buffer, 2);
  EXPECT_EQ("A1", std::string(buffer, 2));
  ibwrt(ud, "0007", 4);
  ibrd(ud, buffer, 2);
  EXPECT_EQ("A2", std::string(buffer, 2));
  ibwrt(ud, "*idn?", 5);
  std::fill(std::begin(buffer), std::end(buffer), '\0');
  ibrd(ud, buffer, 35);
  EXPECT_EQ("Talvo Instruments - QRT1230 (GPIB)", std::string(buffer));

  // A descriptor the library never gave out.
  ibwrt(ud + 100, "X", 1);
  EXPECT_NE(0, *pIbsta & 0x8000);
  EXPECT_EQ(0, *pIbcntl);

  ibwrt(ud, "FWUE", 4);
  ibonl(ud, 0);
  EXPECT_EQ(0, *pIbsta & 0x8000);
  std::string strJson = ReadFile(strReport);
  EXPECT_NE(std::string::npos, strJson.find("\"commands\": [\"FWU0\", \"pages main 1\", \"*idn?\", \"FWUE\"]"))
      << strJson;
  EXPECT_NE(std::string::npos,
            strJson.find("\"ibdev\": [{\"board\": 0, \"pad\": 30, \"sad\": 0, \"tmo\": 12, \"eot\": 0, \"eos\": 0, "
                         "\"result\": " +
                         std::to_string(ud) + "}]"));
  EXPECT_NE(std::string::npos, strJson.find("\"ibonl\": [{\"ud\": " + std::to_string(ud) + ", \"v\": 0}]"));
  EXPECT_NE(std::string::npos, strJson.find("\"ibrd_timeouts\": 1"));
  std::string strDump = ReadFile(dir / "dumps" / "main.bin");
  ASSERT_EQ(256u, strDump.size());
  EXPECT_EQ(7, strDump[0]);

  // Offline now: reads and writes are refused.
  ibwrt(ud, "FWU0", 4);
  EXPECT_NE(0, *pIbsta & 0x8000);
  // The library stays loaded, as the updater keeps it.
}
