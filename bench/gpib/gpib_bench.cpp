// A full QRT1440 update over GPIB through the stand-in library, which plays
// the device and models the time of a USB-GPIB controller
// (QRTSIM_GPIB_CALL_US: every library call costs a round trip) and of the
// bus (QRTSIM_GPIB_BYTE_US: every byte takes the device's handshake time).
//
//   GpibUpdate/call_us:C/byte_us:B/per_char:P
//     per_char 0: the product's update as it is, one ibwrt per string.
//     per_char 1: the same update through a link that sends every string
//                 one character at a time with the product's own SendByte,
//                 as the program did before: one ibwrt per character.
//   Counters: wall_s (seconds of the update), ibwrt and ibrd (library calls),
//   vs_zero (wall time against the per-string update at call cost 0 over the
//   same bus, measured in the same run).
// Each update runs in a child process of this program (the library keeps
// its time model for the process's life); the parent checks that every
// update ended with "FWUE" and that the device received the same bytes.
// Run: <build>/bin/gpib_bench (configure with -DQRT_BENCH=ON).
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "app/UpdateApp.h"
#include "app/UpdateDialog.h"
#include "link/DeviceLink.h"
#include "ui/memory/MemoryFrontEnd.h"

extern char** environ;

namespace {

const int kInterfaceGpibIndex = InterfaceOfAddress(ParseLinkAddress("GPIB")) - 1;  // the interface list's "GPIB"
constexpr int kDeviceQrt1440 = 4;

// The product's GPIB link with SendString as it was: one SendByte per
// character, every character sent even after a failed one.
class ByteByByteLink : public DeviceLink {
 public:
  explicit ByteByByteLink(std::unique_ptr<DeviceLink> pInner) : m_pInner(std::move(pInner)) {}
  int Open(const LinkSettings& s) override { return m_pInner->Open(s); }
  int SendString(const std::string& str) override {
    int nOk = 1;
    for (char ch : str) nOk &= m_pInner->SendByte(ch);
    return nOk;
  }
  int SendByte(char ch) override { return m_pInner->SendByte(ch); }
  std::string ReceiveString(int n) override { return m_pInner->ReceiveString(n); }
  void Purge() override { m_pInner->Purge(); }
  void Close() override { m_pInner->Close(); }
  void Release() override { m_pInner->Release(); }
  std::string LastError() const override { return m_pInner->LastError(); }

 private:
  std::unique_ptr<DeviceLink> m_pInner;
};

// The child: one update in the current folder, its wall time to result.txt.
int RunOneUpdate(bool bPerChar) {
  ui::MemoryFrontEnd fe;
  fw::SetFrontEnd(&fe);
  g_strModulePathOverride = "QRT_Update_OP_FWV2.04.exe";
  fw::g_strAppName = "QRT_Update_OP_FWV2.04";
  auto dlg = std::make_unique<UpdateDialog>();
  if (bPerChar) {
    dlg->m_linkFactory = [](const LinkAddress& address, const LinkResources& res) -> std::unique_ptr<DeviceLink> {
      return std::make_unique<ByteByByteLink>(MakeDeviceLink(address, res));
    };
  }
  fe.Open(*dlg);
  fe.Select(*dlg, IDC_INTERFACE, kInterfaceGpibIndex);
  fe.Select(*dlg, IDC_DEVICE, kDeviceQrt1440);
  const auto t0 = std::chrono::steady_clock::now();
  fe.Click(*dlg, IDC_UPDATE);
  const double dWall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  const int nError = dlg->m_nError;
  dlg.reset();
  fw::SetFrontEnd(nullptr);
  std::ofstream("result.txt") << nError << " " << dWall << "\n";
  return nError == 0 ? 0 : 1;
}

// A work folder with the five containers.
struct BenchDir {
  BenchDir() {
    path = std::filesystem::temp_directory_path() / ("qrt_gpib_bench_" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(path);
    std::mt19937 gen(2031);
    for (const char* pszName : {"FW1A.qrt", "FW1C.qrt", "FW1E.qrt", "FW2A.qrt", "FW2B.qrt"}) {
      std::string bytes(128000, '\0');
      for (char& ch : bytes) ch = static_cast<char>(gen() >> 24);
      std::ofstream(path / pszName, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
  }
  ~BenchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  std::filesystem::path path;
};

std::string ReadWhole(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// The plain value of a member of the report (a number, or a string without
// its quotes), "" when absent.
std::string JsonValue(const std::string& strJson, const std::string& strKey) {
  const std::string strNeedle = "\"" + strKey + "\": ";
  std::size_t nAt = strJson.find(strNeedle);
  if (nAt == std::string::npos) return "";
  nAt += strNeedle.size();
  if (strJson[nAt] == '"') return strJson.substr(nAt + 1, strJson.find('"', nAt + 1) - nAt - 1);
  return strJson.substr(nAt, strJson.find_first_of(",}\n", nAt) - nAt);
}

struct Outcome {
  bool bOk = false;
  std::string strWhy;
  double dWall = 0;
  long nWrites = 0, nReads = 0;
  std::string strBytes;  // received count and digest
};

Outcome RunChild(const BenchDir& dir, long nCallUs, long nByteUs, bool bPerChar) {
  Outcome out;
  std::error_code ec;
  std::filesystem::remove(dir.path / "result.txt", ec);
  std::filesystem::remove(dir.path / "report.json", ec);
  std::vector<std::string> env;
  for (char** pp = environ; *pp; ++pp) {
    if (std::strncmp(*pp, "LD_LIBRARY_PATH=", 16) != 0 && std::strncmp(*pp, "QRTSIM_GPIB", 11) != 0) env.emplace_back(*pp);
  }
  env.push_back(std::string("LD_LIBRARY_PATH=") + QRT_GPIB_STANDIN_DIR);
  env.push_back("QRTSIM_GPIB=--family 14x0 --channels 4 --report '" + (dir.path / "report.json").string() + "'");
  env.push_back("QRTSIM_GPIB_CALL_US=" + std::to_string(nCallUs));
  env.push_back("QRTSIM_GPIB_BYTE_US=" + std::to_string(nByteUs));
  std::vector<std::string> args = {"/proc/self/exe", "--one-update", bPerChar ? "per_char" : "per_string",
                                   dir.path.string()};
  std::vector<char*> argv, envp;
  for (auto& str : args) argv.push_back(str.data());
  argv.push_back(nullptr);
  for (auto& str : env) envp.push_back(str.data());
  envp.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), envp.data()) != 0) {
    out.strWhy = "cannot start the update";
    return out;
  }
  int nStatus = -1;
  waitpid(pid, &nStatus, 0);
  int nError = -1;
  std::ifstream result(dir.path / "result.txt");
  result >> nError >> out.dWall;
  const std::string strReport = ReadWhole(dir.path / "report.json");
  out.nWrites = std::atol(JsonValue(strReport, "ibwrt_calls").c_str());
  out.nReads = std::atol(JsonValue(strReport, "ibrd_calls").c_str());
  out.strBytes = JsonValue(strReport, "received_bytes") + " " + JsonValue(strReport, "received_fnv1a");
  if (!WIFEXITED(nStatus) || WEXITSTATUS(nStatus) != 0 || nError != 0) {
    out.strWhy = "the update failed (code " + std::to_string(nError) + ")";
  } else if (JsonValue(strReport, "call_us") != std::to_string(nCallUs) ||
             JsonValue(strReport, "byte_us") != std::to_string(nByteUs)) {
    out.strWhy = "the library did not take the time model";
  } else if (strReport.find("\"FWUE\"]") == std::string::npos) {
    out.strWhy = "the device did not receive FWUE last";
  } else {
    out.bOk = true;
  }
  return out;
}

// Per bus time: the per-string update's time at call cost 0, and the bytes
// the device received, which every other update must match.
std::map<long, double> g_zeroWall;
std::map<long, std::string> g_bytes;

void GpibUpdate(benchmark::State& state) {
  const long nCallUs = state.range(0), nByteUs = state.range(1);
  const bool bPerChar = state.range(2) != 0;
  BenchDir dir;
  Outcome out;
  for (auto _ : state) {
    out = RunChild(dir, nCallUs, nByteUs, bPerChar);
    if (!out.bOk) {
      state.SkipWithError(out.strWhy.c_str());
      return;
    }
    state.SetIterationTime(out.dWall);
  }
  if (g_bytes.count(nByteUs) == 0) g_bytes[nByteUs] = out.strBytes;
  if (out.strBytes != g_bytes[nByteUs]) {
    state.SkipWithError("the device received other bytes than in the first update");
    return;
  }
  if (nCallUs == 0 && !bPerChar) g_zeroWall[nByteUs] = out.dWall;
  state.counters["wall_s"] = out.dWall;
  state.counters["ibwrt"] = static_cast<double>(out.nWrites);
  state.counters["ibrd"] = static_cast<double>(out.nReads);
  if (g_zeroWall.count(nByteUs)) state.counters["vs_zero"] = out.dWall / g_zeroWall[nByteUs];
}

}  // namespace

// Bus time 0: a device that takes bytes as fast as they come, so the
// update's time is its own pauses and the calls. Bus time 521 us: a device
// that takes each byte in the time of a character at 19200 baud. The
// reference (call cost 0, per string) comes first for each bus time.
BENCHMARK(GpibUpdate)
    ->ArgNames({"call_us", "byte_us", "per_char"})
    ->Args({0, 0, 0})
    ->Args({0, 0, 1})
    ->Args({100, 0, 0})
    ->Args({100, 0, 1})
    ->Args({1000, 0, 0})
    ->Args({1000, 0, 1})
    ->Args({0, 521, 0})
    ->Args({100, 521, 0})
    ->Args({1000, 521, 0})
    ->Args({1000, 521, 1})
    ->UseManualTime()
    ->Unit(benchmark::kSecond)
    ->Iterations(1);

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--one-update") == 0) {
    std::error_code ec;
    std::filesystem::current_path(argv[3], ec);
    if (ec) return 2;
    return RunOneUpdate(std::strcmp(argv[2], "per_char") == 0);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
