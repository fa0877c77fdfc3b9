// Windows: SHA-256 through CNG (bcrypt.dll). The hash object calls
// (BCryptCreateHash, BCryptHashData, BCryptFinishHash) are used rather than
// the one-call BCryptHash, which Windows has only since version 10: the
// 32-bit program serves the older PCs that GPIB-32.DLL still runs on.
#include "platform/digest.h"

#include <windows.h>
// bcrypt.h after windows.h, which it expects.
#include <bcrypt.h>

#include <limits>

namespace platform {

namespace {
bool Succeeded(NTSTATUS status) { return status >= 0; }
}  // namespace

struct Sha256::State {
  BCRYPT_ALG_HANDLE hAlg = nullptr;
  BCRYPT_HASH_HANDLE hHash = nullptr;
  bool bFailed = false;
};

Sha256::Sha256() : m_pState(std::make_unique<State>()) {
  State& s = *m_pState;
  if (!Succeeded(BCryptOpenAlgorithmProvider(&s.hAlg, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) ||
      !Succeeded(BCryptCreateHash(s.hAlg, &s.hHash, nullptr, 0, nullptr, 0, 0)))
    s.bFailed = true;
}

Sha256::~Sha256() {
  if (m_pState->hHash) BCryptDestroyHash(m_pState->hHash);
  if (m_pState->hAlg) BCryptCloseAlgorithmProvider(m_pState->hAlg, 0);
}

int Sha256::Add(const void* pData, std::size_t nSize) {
  State& s = *m_pState;
  // BCryptHashData takes at most 4 GiB - 1 per call.
  auto* p = static_cast<PUCHAR>(const_cast<void*>(pData));
  while (!s.bFailed && nSize > 0) {
    const ULONG n = nSize > std::numeric_limits<ULONG>::max() ? std::numeric_limits<ULONG>::max()
                                                               : static_cast<ULONG>(nSize);
    if (!Succeeded(BCryptHashData(s.hHash, p, n, 0))) s.bFailed = true;
    p += n;
    nSize -= n;
  }
  return s.bFailed ? 0 : 1;
}

int Sha256::Finish(Sha256Digest& digest) {
  State& s = *m_pState;
  const bool bOk = !s.bFailed && Succeeded(BCryptFinishHash(s.hHash, digest.data(), kSha256Size, 0));
  s.bFailed = true;
  return bOk ? 1 : 0;
}

int Sha256Of(const void* pData, std::size_t nSize, Sha256Digest& digest) {
  Sha256 sha;
  return sha.Add(pData, nSize) && sha.Finish(digest) ? 1 : 0;
}

}  // namespace platform
