// Helpers shared by the image tests: temporary folders, whole-file reads and
// writes, and an independent statement of the container format.
#pragma once
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace imgtest {

using Bytes = std::vector<std::uint8_t>;

// A fresh folder under the system's temporary folder, removed at the end.
class TempDir {
 public:
  TempDir() {
    static std::atomic<int> s_nNext{0};
    std::random_device rd;
    const auto base = std::filesystem::temp_directory_path();
    for (;;) {
      m_path = base / ("qrt-img-" + std::to_string(rd()) + "-" + std::to_string(s_nNext++));
      if (std::filesystem::create_directory(m_path)) break;
    }
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& Path() const { return m_path; }
  std::string File(const std::string& name) const { return (m_path / name).string(); }

 private:
  std::filesystem::path m_path;
};

inline Bytes ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

// Deterministic bytes that look like nothing in particular.
inline Bytes RandomBytes(std::size_t n, std::uint32_t seed) {
  std::mt19937 gen(seed);
  Bytes b(n);
  for (auto& x : b) x = static_cast<std::uint8_t>(gen() >> 24);
  return b;
}

// The container a plain image gives when written over nPages pages, stated
// byte by byte from the file format: offset o of page o/256 is XORed with
// o%256 when that page is below nPages and its number leaves 2 when divided
// by 3. The plain image is padded with zero bytes to 128000.
inline Bytes ExpectedContainer(Bytes plain, int nPages) {
  plain.resize(128000, 0);
  for (std::size_t o = 0; o < plain.size(); ++o) {
    const std::size_t page = o / 256;
    if (static_cast<int>(page) < nPages && page % 3 == 2) plain[o] = static_cast<std::uint8_t>(plain[o] ^ (o % 256));
  }
  return plain;
}

}  // namespace imgtest
