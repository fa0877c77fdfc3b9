// POSIX: ECDSA signatures checked with OpenSSL's libcrypto (EVP_DigestVerify).
#include "platform/signature.h"

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <cstring>

namespace platform {

namespace {

// The key as a P-256 EVP_PKEY, nullptr for anything else (another curve, an
// RSA key, trailing bytes after the DER).
EVP_PKEY* P256Key(const std::uint8_t* pKey, std::size_t nKey) {
  const unsigned char* p = pKey;
  EVP_PKEY* pPkey = d2i_PUBKEY(nullptr, &p, static_cast<long>(nKey));
  if (pPkey == nullptr) return nullptr;
  char szGroup[64] = "";
  std::size_t nGroup = 0;
  const bool bP256 = p == pKey + nKey && EVP_PKEY_get_base_id(pPkey) == EVP_PKEY_EC &&
                     EVP_PKEY_get_group_name(pPkey, szGroup, sizeof szGroup, &nGroup) == 1 &&
                     std::strcmp(szGroup, "prime256v1") == 0;
  if (!bP256) {
    EVP_PKEY_free(pPkey);
    return nullptr;
  }
  return pPkey;
}

}  // namespace

SignatureResult VerifyEcdsaSha256(const std::uint8_t* pKey, std::size_t nKey, const void* pData, std::size_t nData,
                                  const std::uint8_t* pSignature, std::size_t nSignature) {
  EVP_PKEY* pPkey = P256Key(pKey, nKey);
  if (pPkey == nullptr) return SignatureResult::BadKey;
  EVP_MD_CTX* pCtx = EVP_MD_CTX_new();
  SignatureResult result = SignatureResult::Failed;
  if (pCtx != nullptr && EVP_DigestVerifyInit(pCtx, nullptr, EVP_sha256(), nullptr, pPkey) == 1) {
    // 1 is a valid signature; 0 and the negative codes of a signature that
    // does not even parse both mean "not the key's signature over these bytes".
    result = EVP_DigestVerify(pCtx, pSignature, nSignature, static_cast<const unsigned char*>(pData), nData) == 1
                 ? SignatureResult::Valid
                 : SignatureResult::Invalid;
  }
  EVP_MD_CTX_free(pCtx);
  EVP_PKEY_free(pPkey);
  return result;
}

}  // namespace platform
