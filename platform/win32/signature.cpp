// Windows: ECDSA signatures checked with CNG (bcrypt.dll). CNG takes the key
// as its point (BCRYPT_ECCPUBLIC_BLOB) and the signature as r and s of 32
// bytes each, so the DER forms that openssl writes are taken apart here,
// strictly, so that a signature libcrypto refuses is refused here too.
#include "platform/signature.h"

#include <windows.h>
// bcrypt.h after windows.h, which it expects.
#include <bcrypt.h>

#include <cstring>
#include <vector>

#include "platform/digest.h"

namespace platform {

namespace {

constexpr std::size_t kCoordinate = 32;

// DER SubjectPublicKeyInfo of a P-256 key, up to the uncompressed point's
// 0x04: SEQUENCE { SEQUENCE { OID ecPublicKey, OID prime256v1 }, BIT STRING }.
const std::uint8_t kP256SpkiPrefix[] = {0x30, 0x59, 0x30, 0x13, 0x06, 0x07, 0x2a, 0x86, 0x48, 0xce, 0x3d,
                                        0x02, 0x01, 0x06, 0x08, 0x2a, 0x86, 0x48, 0xce, 0x3d, 0x03, 0x01,
                                        0x07, 0x03, 0x42, 0x00, 0x04};

// One DER INTEGER at p (n bytes left) into 32 big-endian bytes; advances p.
// 0 for anything but the minimal encoding of a positive number that fits.
int TakeInteger(const std::uint8_t*& p, std::size_t& n, std::uint8_t* pOut) {
  if (n < 2 || p[0] != 0x02) return 0;
  std::size_t nLength = p[1];
  if (nLength == 0 || nLength >= 0x80 || nLength > n - 2) return 0;
  const std::uint8_t* pValue = p + 2;
  if (pValue[0] & 0x80) return 0;                                      // negative
  if (pValue[0] == 0 && (nLength == 1 || !(pValue[1] & 0x80))) return 0;  // zero, or a needless leading zero
  p += 2 + nLength;
  n -= 2 + nLength;
  if (pValue[0] == 0) {
    ++pValue;
    --nLength;
  }
  if (nLength > kCoordinate) return 0;
  std::memset(pOut, 0, kCoordinate);
  std::memcpy(pOut + kCoordinate - nLength, pValue, nLength);
  return 1;
}

// SEQUENCE { INTEGER r, INTEGER s } into r || s; 0 when not strict DER.
int RawSignature(const std::uint8_t* p, std::size_t n, std::uint8_t* pOut) {
  if (n < 2 || p[0] != 0x30 || p[1] >= 0x80 || p[1] != n - 2) return 0;
  p += 2;
  n -= 2;
  return TakeInteger(p, n, pOut) && TakeInteger(p, n, pOut + kCoordinate) && n == 0 ? 1 : 0;
}

bool Succeeded(NTSTATUS status) { return status >= 0; }

}  // namespace

SignatureResult VerifyEcdsaSha256(const std::uint8_t* pKey, std::size_t nKey, const void* pData, std::size_t nData,
                                  const std::uint8_t* pSignature, std::size_t nSignature) {
  if (nKey != sizeof kP256SpkiPrefix + 2 * kCoordinate ||
      std::memcmp(pKey, kP256SpkiPrefix, sizeof kP256SpkiPrefix) != 0)
    return SignatureResult::BadKey;
  std::uint8_t abSignature[2 * kCoordinate];
  if (!RawSignature(pSignature, nSignature, abSignature)) return SignatureResult::Invalid;
  Sha256Digest digest{};
  if (!Sha256Of(pData, nData, digest)) return SignatureResult::Failed;

  std::vector<std::uint8_t> blob(sizeof(BCRYPT_ECCKEY_BLOB) + 2 * kCoordinate);
  BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, static_cast<ULONG>(kCoordinate)};
  std::memcpy(blob.data(), &header, sizeof header);
  std::memcpy(blob.data() + sizeof header, pKey + sizeof kP256SpkiPrefix, 2 * kCoordinate);

  BCRYPT_ALG_HANDLE hAlg = nullptr;
  BCRYPT_KEY_HANDLE hKey = nullptr;
  SignatureResult result = SignatureResult::Failed;
  if (Succeeded(BCryptOpenAlgorithmProvider(&hAlg, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0))) {
    // A point that is not on the curve is refused by the import.
    if (!Succeeded(BCryptImportKeyPair(hAlg, nullptr, BCRYPT_ECCPUBLIC_BLOB, &hKey, blob.data(),
                                       static_cast<ULONG>(blob.size()), 0))) {
      result = SignatureResult::BadKey;
    } else {
      const NTSTATUS status =
          BCryptVerifySignature(hKey, nullptr, digest.data(), static_cast<ULONG>(digest.size()), abSignature,
                                static_cast<ULONG>(sizeof abSignature), 0);
      // Every refusal (STATUS_INVALID_SIGNATURE, or r or s out of range) is
      // the same verdict: not the key's signature.
      result = Succeeded(status) ? SignatureResult::Valid : SignatureResult::Invalid;
      BCryptDestroyKey(hKey);
    }
    BCryptCloseAlgorithmProvider(hAlg, 0);
  }
  return result;
}

}  // namespace platform
