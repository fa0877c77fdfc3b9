// Import of a full 350-page HEX file (16-byte records, CR LF, as objcopy
// writes them) and the container round trip (scramble, save, verify, load).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "image/Container.h"
#include "image/HexImport.h"

namespace {

constexpr int kPages = 350;
constexpr int kBytes = kPages * kPageSize;

std::string MakeHex() {
  std::mt19937 gen(350);
  std::string text;
  char buf[64];
  for (int a = 0; a < kBytes; a += 16) {
    if (a % 65536 == 0) {
      const int seg = a / 16;
      const int sum = 2 + 2 + (seg >> 8) + (seg & 0xFF);
      std::snprintf(buf, sizeof buf, ":02000002%04X%02X\r\n", seg, (0x100 - (sum & 0xFF)) & 0xFF);
      text += buf;
    }
    const int addr = a % 65536;
    int sum = 16 + (addr >> 8) + (addr & 0xFF);
    std::snprintf(buf, sizeof buf, ":10%04X00", addr);
    text += buf;
    for (int i = 0; i < 16; ++i) {
      const int d = static_cast<int>(gen() >> 24);
      sum += d;
      std::snprintf(buf, sizeof buf, "%02X", d);
      text += buf;
    }
    std::snprintf(buf, sizeof buf, "%02X\r\n", (0x100 - (sum & 0xFF)) & 0xFF);
    text += buf;
  }
  return text + ":00000001FF\r\n";
}

std::string TempPath(const char* name) { return (std::filesystem::temp_directory_path() / name).string(); }

void BM_DecodeHex350Pages(benchmark::State& state) {
  const std::string text = MakeHex();
  auto image = std::make_unique<FirmwareImage>();
  for (auto _ : state) {
    if (DecodeHexText(text, *image) != kHexOk) state.SkipWithError("import failed");
    benchmark::DoNotOptimize(image->m_image.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
  state.counters["hex_bytes"] = static_cast<double>(text.size());
}
BENCHMARK(BM_DecodeHex350Pages)->Unit(benchmark::kMillisecond);

void BM_ImportHexFile350Pages(benchmark::State& state) {
  const std::string text = MakeHex();
  const std::string path = TempPath("qrt-bench-front14x0.hex");
  std::ofstream(path, std::ios::binary) << text;
  auto image = std::make_unique<FirmwareImage>();
  for (auto _ : state) {
    if (ReadHexFile(path, *image) != kHexOk) state.SkipWithError("import failed");
    benchmark::DoNotOptimize(image->m_image.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
  std::filesystem::remove(path);
}
BENCHMARK(BM_ImportHexFile350Pages)->Unit(benchmark::kMillisecond);

void BM_SaveVerifyRoundTrip(benchmark::State& state) {
  const std::string path = TempPath("qrt-bench-FW1C.qrt");
  auto image = std::make_unique<FirmwareImage>();
  if (DecodeHexText(MakeHex(), *image) != kHexOk) state.SkipWithError("import failed");
  for (auto _ : state) {
    image->Scramble(kPages);
    if (!WriteContainerFile(path, *image)) state.SkipWithError("save failed");
    if (CompareContainerFile(path, *image) != VerifyResult::Equal) state.SkipWithError("verify failed");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kImageSize));
  std::filesystem::remove(path);
}
BENCHMARK(BM_SaveVerifyRoundTrip)->Unit(benchmark::kMicrosecond);

void BM_LoadContainer(benchmark::State& state) {
  const std::string path = TempPath("qrt-bench-load.qrt");
  auto image = std::make_unique<FirmwareImage>();
  WriteContainerFile(path, *image);
  for (auto _ : state) {
    if (!ReadContainerFile(path, *image)) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(image->m_image.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kImageSize));
  std::filesystem::remove(path);
}
BENCHMARK(BM_LoadContainer)->Unit(benchmark::kMicrosecond);

void BM_Scramble350Pages(benchmark::State& state) {
  auto image = std::make_unique<FirmwareImage>();
  for (auto _ : state) {
    image->Scramble(kPages);
    benchmark::DoNotOptimize(image->m_image.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * 116 * kPageSize));
}
BENCHMARK(BM_Scramble350Pages)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
