// ECDSA signatures (P-256 with SHA-256) checked through the operating
// system's own library: OpenSSL's libcrypto on Linux, CNG (bcrypt.dll) on
// Windows. Used to check that a bundle's SHA256SUMS is the maker's.
#pragma once
#include <cstddef>
#include <cstdint>

namespace platform {

enum class SignatureResult {
  Valid,       // the signature is the key's over exactly these bytes
  Invalid,     // it is not: other bytes, another key, or a damaged signature
  BadKey,      // the key is not a P-256 public key in DER SubjectPublicKeyInfo form
  Failed,      // the system library failed
};

// Checks the DER signature pSignature (as `openssl dgst -sha256 -sign`
// writes it: SEQUENCE { INTEGER r, INTEGER s }) over pData with the public
// key pKey (DER SubjectPublicKeyInfo of a P-256 key). A signature that is
// not strict DER is Invalid, so that both systems judge every file alike.
SignatureResult VerifyEcdsaSha256(const std::uint8_t* pKey, std::size_t nKey, const void* pData, std::size_t nData,
                                  const std::uint8_t* pSignature, std::size_t nSignature);

}  // namespace platform
