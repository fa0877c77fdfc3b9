// POSIX: SHA-256 through OpenSSL's libcrypto (EVP interface).
#include "platform/digest.h"

#include <openssl/evp.h>

namespace platform {

struct Sha256::State {
  EVP_MD_CTX* pCtx = nullptr;
  bool bFailed = false;
};

Sha256::Sha256() : m_pState(std::make_unique<State>()) {
  m_pState->pCtx = EVP_MD_CTX_new();
  if (!m_pState->pCtx || EVP_DigestInit_ex(m_pState->pCtx, EVP_sha256(), nullptr) != 1) m_pState->bFailed = true;
}

Sha256::~Sha256() { EVP_MD_CTX_free(m_pState->pCtx); }

int Sha256::Add(const void* pData, std::size_t nSize) {
  if (m_pState->bFailed) return 0;
  if (nSize > 0 && EVP_DigestUpdate(m_pState->pCtx, pData, nSize) != 1) m_pState->bFailed = true;
  return m_pState->bFailed ? 0 : 1;
}

int Sha256::Finish(Sha256Digest& digest) {
  unsigned nLength = 0;
  const bool bOk = !m_pState->bFailed && EVP_DigestFinal_ex(m_pState->pCtx, digest.data(), &nLength) == 1 &&
                   nLength == kSha256Size;
  m_pState->bFailed = true;
  return bOk ? 1 : 0;
}

int Sha256Of(const void* pData, std::size_t nSize, Sha256Digest& digest) {
  unsigned nLength = 0;
  return EVP_Digest(pData, nSize, digest.data(), &nLength, EVP_sha256(), nullptr) == 1 && nLength == kSha256Size
             ? 1
             : 0;
}

}  // namespace platform
