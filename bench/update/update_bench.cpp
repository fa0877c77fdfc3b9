// A full QRT1440 update through the update button against qrtsim on a
// pseudo-terminal:
//   FullUpdateAt115200Baud  qrtsim emulates the wire at 115200 baud; the
//                           measured time is set against the wire-time bound
//                           (every character both ways at 10 bits, plus the
//                           protocol's fixed pauses). Counter "vs_bound".
//   FullUpdateUnpaced       no pacing: what the updater itself costs, as its
//                           CPU time (user + system) per update ("cpu_s").
//   UpdateAt19200Baud/latency_ms:L/per_char:C
//                           the console program (a child process, unchanged)
//                           at the update's own 19200 baud: L 0 over the plain
//                           pty; L > 0 through the USB-serial adapter model
//                           (qrtsim --adapter-latency L, and the preloaded
//                           library that makes each write call wait for the
//                           next 1 ms USB frame); C 1 splits every write call
//                           into one call per character. Counter "vs_bound".
//                           About 3 to 6 minutes each.
// Run: <build>/bin/update_bench (configure with -DQRT_BENCH=ON); one figure:
// update_bench --benchmark_filter='UpdateAt19200Baud/latency_ms:16/per_char:0'.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "app/UpdateApp.h"
#include "app/UpdateDialog.h"
#include "platform/ports.h"
#include "tests/update/SimProcess.h"
#include "ui/memory/MemoryFrontEnd.h"

namespace {

constexpr int kMainPages = 350;
constexpr int kChannelPages = 80;
constexpr int kChannels = 4;
constexpr int kPageExchange = 6 + 6 + 512 + 2 + 4 + 2;  // address, echo, data, A1, checksum, A2

// Characters on the line in both directions for a full QRT1440 update.
long WireCharacters() {
  const long nMain = 4 + 7 + 8 + 6 + 6 + long{kMainPages} * kPageExchange;              // FWU0 .. last A2
  const long nChannel = 4 + 3 + 9 + 8 + 6 + 6 + long{kChannelPages} * kPageExchange + 1;  // FWUn, FWU .. closing
  return nMain + kChannels * nChannel + 4;                                               // FWUE
}

// The protocol's own pauses: before FWU0, two per channel, before FWUE.
constexpr double kPausesSeconds = 0.100 + kChannels * 0.200 + 0.100;

double WireBoundSeconds(long nBaud) { return static_cast<double>(WireCharacters()) * 10.0 / nBaud + kPausesSeconds; }

// A work folder with the five containers, current while it lives.
struct BenchDir {
  BenchDir() {
    path = std::filesystem::temp_directory_path() / ("qrt_update_bench_" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(path);
    previous = std::filesystem::current_path();
    std::filesystem::current_path(path);
    std::mt19937 gen(2031);
    for (const char* pszName : {"FW1A.qrt", "FW1C.qrt", "FW1E.qrt", "FW2A.qrt", "FW2B.qrt"}) {
      std::string bytes(128000, '\0');
      for (char& ch : bytes) ch = static_cast<char>(gen() >> 24);
      std::ofstream(path / pszName, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
  }
  ~BenchDir() {
    std::error_code ec;
    std::filesystem::current_path(previous, ec);
    std::filesystem::remove_all(path, ec);
  }
  std::filesystem::path path, previous;
};

double ProcessCpuSeconds() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
         static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// One update with the window in memory, as the console program runs it but
// without printing. Returns false when the update did not succeed.
bool RunUpdate(BenchDir& dir, const std::vector<std::string>& simOptions, double* pWall, double* pCpu) {
  SimProcess sim(simOptions, (dir.path / "sim").string());
  if (!sim.Started()) return false;
  platform::SetComPortPath(3, sim.SlavePath());
  ui::MemoryFrontEnd fe;
  fw::SetFrontEnd(&fe);
  g_strModulePathOverride = "QRT_Update_OP_FWV2.04.exe";
  fw::g_strAppName = "QRT_Update_OP_FWV2.04";
  auto dlg = std::make_unique<UpdateDialog>();
  fe.Open(*dlg);
  fe.Select(*dlg, IDC_INTERFACE, 2);  // COM3
  fe.Select(*dlg, IDC_DEVICE, 4);     // QRT1440
  const double dCpu0 = ProcessCpuSeconds();
  const auto t0 = std::chrono::steady_clock::now();
  fe.Click(*dlg, IDC_UPDATE);
  *pWall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  *pCpu = ProcessCpuSeconds() - dCpu0;
  const bool bOk = dlg->m_nError == 0;
  dlg.reset();
  fw::SetFrontEnd(nullptr);
  sim.Stop();
  return bOk && !sim.Commands().empty() && sim.Commands().back() == "FWUE";
}

// One update by the console program as a child process, as a user runs it,
// through the adapter model when nLatencyMs > 0. Returns false when the
// update did not succeed.
bool RunConsoleUpdate(BenchDir& dir, long nLatencyMs, bool bPerChar, double* pWall) {
  // One write call per character takes about twice the bound: more than
  // the simulator's usual guard.
  std::vector<std::string> simOptions = {"--baud", "19200", "--max-seconds", "900"};
  if (nLatencyMs > 0) simOptions.insert(simOptions.end(), {"--adapter-latency", std::to_string(nLatencyMs)});
  SimProcess sim(simOptions, (dir.path / "sim").string());
  if (!sim.Started()) return false;

  std::vector<std::string> env;
  for (char** pp = environ; *pp; ++pp) env.emplace_back(*pp);
  if (nLatencyMs > 0) {
    env.push_back(std::string("LD_PRELOAD=") + QRT_ADAPTER_FRAMES);
    env.push_back("QRT_ADAPTER_PORT=" + sim.SlavePath());
    if (bPerChar) env.push_back("QRT_ADAPTER_SPLIT=1");
  }
  std::vector<std::string> args = {QRT_QRTUPDATE_PATH, "--as",     "QRT_Update_OP_FWV2.04", "--interface", "COM3",
                                   "--port",           sim.SlavePath(), "--device",           "QRT1440",    "update"};
  std::vector<char*> argv, envp;
  for (auto& str : args) argv.push_back(str.data());
  argv.push_back(nullptr);
  for (auto& str : env) envp.push_back(str.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);

  const auto t0 = std::chrono::steady_clock::now();
  pid_t pid = -1;
  int nSpawn = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  int nStatus = -1;
  if (nSpawn == 0) waitpid(pid, &nStatus, 0);
  *pWall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  sim.Stop();
  return nSpawn == 0 && WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0 && !sim.Commands().empty() &&
         sim.Commands().back() == "FWUE";
}

// Times full updates made by pfnRun (which reports one update's wall time)
// and reports their mean against the wire-time bound at nBaud.
template <typename Run>
void TimeAgainstBound(benchmark::State& state, int nBaud, Run pfnRun) {
  const double dBound = WireBoundSeconds(nBaud);
  double dTotal = 0;
  for (auto _ : state) {
    double dWall = 0;
    if (!pfnRun(&dWall)) {
      state.SkipWithError("the update failed");
      return;
    }
    state.SetIterationTime(dWall);
    dTotal += dWall;
  }
  state.counters["bound_s"] = dBound;
  state.counters["vs_bound"] = dTotal / static_cast<double>(state.iterations()) / dBound;
}

void UpdateAt19200Baud(benchmark::State& state) {
  BenchDir dir;
  TimeAgainstBound(state, 19200, [&](double* pWall) {
    return RunConsoleUpdate(dir, state.range(0), state.range(1) != 0, pWall);
  });
}

void FullUpdateAt115200Baud(benchmark::State& state) {
  BenchDir dir;
  TimeAgainstBound(state, 115200, [&](double* pWall) {
    double dCpu = 0;
    return RunUpdate(dir, {"--baud", "115200"}, pWall, &dCpu);
  });
  state.counters["wire_chars"] = static_cast<double>(WireCharacters());
}

void FullUpdateUnpaced(benchmark::State& state) {
  BenchDir dir;
  double dCpuTotal = 0;
  for (auto _ : state) {
    double dWall = 0, dCpu = 0;
    if (!RunUpdate(dir, {}, &dWall, &dCpu)) {
      state.SkipWithError("the update failed");
      return;
    }
    state.SetIterationTime(dWall);
    dCpuTotal += dCpu;
  }
  state.counters["cpu_s"] = dCpuTotal / static_cast<double>(state.iterations());
}

}  // namespace

BENCHMARK(FullUpdateAt115200Baud)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(FullUpdateUnpaced)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
// The plain pty; the adapter model at 16 ms and at 1 ms; at 16 ms with one
// write call per character, for comparison.
BENCHMARK(UpdateAt19200Baud)
    ->ArgNames({"latency_ms", "per_char"})
    ->Args({0, 0})
    ->Args({16, 0})
    ->Args({1, 0})
    ->Args({16, 1})
    ->UseManualTime()
    ->Unit(benchmark::kSecond)
    ->Iterations(1);

BENCHMARK_MAIN();
