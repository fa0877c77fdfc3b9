// SHA-256 through the operating system's own library: OpenSSL's libcrypto on
// Linux, CNG (bcrypt.dll) on Windows. Used to check firmware containers
// against the SHA256SUMS list of their bundle and to name them in the
// update record.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

constexpr std::size_t kSha256Size = 32;
using Sha256Digest = std::array<std::uint8_t, kSha256Size>;

// A digest over data given in pieces. Add may be called any number of
// times, then Finish once.
class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  // 1 when the system library took the bytes, 0 when it failed (then
  // Finish fails too).
  int Add(const void* pData, std::size_t nSize);
  // 1 with the digest in digest, 0 when the system library failed at any
  // step; the object is spent either way.
  int Finish(Sha256Digest& digest);

  struct State;

 private:
  std::unique_ptr<State> m_pState;
};

// The digest of one buffer; 1 on success.
int Sha256Of(const void* pData, std::size_t nSize, Sha256Digest& digest);

// 64 lower-case hex digits, as sha256sum prints them.
inline std::string Sha256Hex(const Sha256Digest& digest) {
  static const char kDigits[] = "0123456789abcdef";
  std::string str;
  str.reserve(2 * kSha256Size);
  for (std::uint8_t b : digest) {
    str += kDigits[b >> 4];
    str += kDigits[b & 0x0F];
  }
  return str;
}

}  // namespace platform
