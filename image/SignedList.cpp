#include "image/SignedList.h"

#include <cstdio>

#include "image/ChecksumList.h"
#include "image/TrustedKeys.h"
#include "platform/digest.h"
#include "platform/file.h"
#include "platform/signature.h"

namespace {

// A PEM public key is a few hundred bytes.
constexpr std::size_t kSignerKeyMaxBytes = 16 * 1024;

enum class SmallFile { Absent, Read, Unreadable, TooLarge };

// Reads a whole small file, only a regular one and without waiting on it.
SmallFile ReadSmallFile(const std::string& strPath, std::size_t nMax, std::string& strData) {
  strData.clear();
  if (!platform::PathExists(strPath)) return SmallFile::Absent;
  platform::UniqueFile file(platform::OpenRegularFileForReading(strPath));
  if (!file) return SmallFile::Unreadable;
  // One byte more than allowed tells a file that is too large.
  strData.resize(nMax + 1);
  std::size_t nTotal = 0;
  while (nTotal < strData.size()) {
    const std::size_t n = std::fread(&strData[nTotal], 1, strData.size() - nTotal, file.get());
    if (n == 0) break;
    nTotal += n;
  }
  if (std::ferror(file.get())) return SmallFile::Unreadable;
  strData.resize(nTotal);
  return nTotal > nMax ? SmallFile::TooLarge : SmallFile::Read;
}

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string KeyList(const std::vector<std::vector<std::uint8_t>>& trusted) {
  if (trusted.empty()) return "none: this program was built without trusted keys";
  std::string str;
  for (const auto& key : trusted) str += (str.empty() ? "" : ", ") + KeyId(key);
  return str;
}

SignedListCheck Refused(SignatureVerdict verdict, const std::string& strMessage, const std::string& strReason) {
  SignedListCheck check;
  check.verdict = verdict;
  check.strMessage = strMessage + " Update abort!";
  check.strReason = strReason;
  return check;
}

}  // namespace

std::string KeyId(const std::vector<std::uint8_t>& key) {
  platform::Sha256Digest digest{};
  if (!platform::Sha256Of(key.data(), key.size(), digest)) return "";
  return platform::Sha256Hex(digest).substr(0, 16);
}

int PublicKeyDer(const std::string& strPem, std::vector<std::uint8_t>& der) {
  static const char kBegin[] = "-----BEGIN PUBLIC KEY-----";
  static const char kEnd[] = "-----END PUBLIC KEY-----";
  der.clear();
  const std::size_t nBegin = strPem.find(kBegin);
  if (nBegin == std::string::npos) return 0;
  const std::size_t nBody = nBegin + sizeof kBegin - 1;
  const std::size_t nEnd = strPem.find(kEnd, nBody);
  if (nEnd == std::string::npos) return 0;
  std::uint32_t nBits = 0;
  int nHeld = 0;
  int nPad = 0;
  for (std::size_t i = nBody; i < nEnd; ++i) {
    const char c = strPem[i];
    if (IsSpace(c)) continue;
    if (c == '=') {
      ++nPad;
      continue;
    }
    const int v = Base64Value(c);
    if (v < 0 || nPad > 0) return 0;  // a stray character, or data after the padding
    nBits = nBits << 6 | static_cast<std::uint32_t>(v);
    nHeld += 6;
    if (nHeld >= 8) {
      nHeld -= 8;
      der.push_back(static_cast<std::uint8_t>(nBits >> nHeld));
    }
  }
  if (nPad > 2 || der.empty()) {
    der.clear();
    return 0;
  }
  return 1;
}

std::vector<std::vector<std::uint8_t>> TrustedKeys() {
  std::vector<std::vector<std::uint8_t>> keys;
  std::size_t nCount = 0;
  const char* const* ppszPems = TrustedKeyPems(nCount);
  for (std::size_t i = 0; i < nCount; ++i) {
    std::vector<std::uint8_t> der;
    if (PublicKeyDer(ppszPems[i], der)) keys.push_back(std::move(der));
  }
  return keys;
}

SignedListCheck CheckSignedList(bool bRequired) { return CheckSignedList(bRequired, TrustedKeys()); }

SignedListCheck CheckSignedList(bool bRequired, const std::vector<std::vector<std::uint8_t>>& trusted) {
  const std::string strList = kChecksumListName;
  const std::string strSig = kSignatureName;
  std::string strSignature;
  switch (ReadSmallFile(strSig, kSignatureMaxBytes, strSignature)) {
    case SmallFile::Absent:
      if (!bRequired) return {};
      return Refused(SignatureVerdict::Missing, "No signed " + strList + "!",
                     (platform::PathExists(strList) ? strList + " is not signed (no " + strSig + ")"
                                                    : "no " + strList + " and no " + strSig) +
                         ": this program updates only from a list signed by the maker");
    case SmallFile::Read:
      break;
    case SmallFile::Unreadable:
    case SmallFile::TooLarge:
      return Refused(SignatureVerdict::Unreadable, strSig + " cannot be read!",
                     strSig + " cannot be read: it is not a regular file, reading it is not permitted, or it is "
                              "larger than " + std::to_string(kSignatureMaxBytes) + " bytes");
  }
  SignedListCheck check;
  switch (ReadSmallFile(strList, kChecksumListMaxBytes, check.strList)) {
    case SmallFile::Absent:
      // A signature of nothing: the bundle lost its list.
      return Refused(SignatureVerdict::Missing, "No signed " + strList + "!",
                     strSig + " lies here without " + strList + ", the list it signs");
    case SmallFile::Read:
      break;
    case SmallFile::Unreadable:
    case SmallFile::TooLarge:
      return Refused(SignatureVerdict::Unreadable, strList + " cannot be read!",
                     strList + " cannot be read: it is not a regular file, reading it is not permitted, or it is "
                               "larger than " + std::to_string(kChecksumListMaxBytes) + " bytes");
  }
  const auto* pSig = reinterpret_cast<const std::uint8_t*>(strSignature.data());
  bool bFailed = false;
  for (const auto& key : trusted) {
    switch (platform::VerifyEcdsaSha256(key.data(), key.size(), check.strList.data(), check.strList.size(), pSig,
                                        strSignature.size())) {
      case platform::SignatureResult::Valid:
        check.verdict = SignatureVerdict::Ok;
        check.strKeyId = KeyId(key);
        return check;
      case platform::SignatureResult::Failed:
        bFailed = true;
        break;
      case platform::SignatureResult::Invalid:
      case platform::SignatureResult::BadKey:
        break;
    }
  }
  // Not the list a trusted key signed. The signer's key beside it, never
  // trusted, tells whose signature it is when it verifies.
  std::string strPem;
  std::vector<std::uint8_t> signer;
  if (ReadSmallFile(kSignerKeyName, kSignerKeyMaxBytes, strPem) == SmallFile::Read && PublicKeyDer(strPem, signer) &&
      platform::VerifyEcdsaSha256(signer.data(), signer.size(), check.strList.data(), check.strList.size(), pSig,
                                  strSignature.size()) == platform::SignatureResult::Valid) {
    SignedListCheck untrusted =
        Refused(SignatureVerdict::Untrusted, strList + " is signed by an untrusted key!",
                strSig + " is signed by the key " + KeyId(signer) + ", which this program does not trust (it trusts: " +
                    KeyList(trusted) + ")");
    untrusted.strKeyId = KeyId(signer);
    return untrusted;
  }
  return Refused(SignatureVerdict::Bad, strList + " does not match its signature!",
                 bFailed ? "the system's signature library failed while checking " + strSig
                         : strSig + " does not verify " + strList + " with any trusted key (" + KeyList(trusted) +
                               "): the list was changed after signing, or the signature is damaged or not the maker's");
}
