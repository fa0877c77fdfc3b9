// The maker's signature over SHA256SUMS: the system libraries' verdict on
// signatures as openssl writes them and on every damaged form (the same
// cases natively with libcrypto and under Wine with CNG), key ids, and the
// rule's verdicts on a bundle folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "image/ChecksumList.h"
#include "image/SignedList.h"
#include "platform/signature.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes FromHex(const std::string& str) {
  Bytes bytes;
  for (std::size_t i = 0; i + 1 < str.size(); i += 2) bytes.push_back(static_cast<std::uint8_t>(std::stoi(str.substr(i, 2), nullptr, 16)));
  return bytes;
}

// tests/keys/dev-signing-key-TESTS-ONLY.pub.pem; its id as
// `openssl pkey -pubin -outform DER | sha256sum | cut -c1-16` prints it.
const char kDevPem[] =
    "-----BEGIN PUBLIC KEY-----\n"
    "MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAEWLOVQHWiZkdDC+CzmUgiz3/GCy5M\n"
    "REdnJJPXAQ7gRT8vQG2RkusDZETh1sVAV7/t1zTWmjjYD7+OhHc66mb00Q==\n"
    "-----END PUBLIC KEY-----\n";
const char kDevKeyId[] = "97050b8f7d0d99b2";

// `openssl dgst -sha256 -sign dev-signing-key-TESTS-ONLY.pem` over kMessage.
const char kMessage[] = "a signed list\n";
const std::string kR = "ade701cd2bee14f799b7013a5607d6ce599328dacba2125301eec8c5ec4951b1";
const std::string kS = "4950f4d6e7c6ef44fdb099525f6fc9664bfd30661cba5dcee8f199bd0eb20848";
const std::string kSignature = "3045022100" + kR + "0220" + kS;

// A secp384r1 public key: a valid key of the wrong curve.
const char kP384Key[] =
    "3076301006072a8648ce3d020106052b81040022036200047701f270f7dad88b148048c3f323ac206810bbd983ce7843c90ba6ab4e00e189"
    "33aed86b521051614f68786b1d84dfa4705d07acffd39fbab89f0f5c4b7e5e39adc3256ae28fe6182b36510afab49f8269193ec424ba9e"
    "99f62b1a9057b7a84f";

Bytes DevKey() {
  Bytes der;
  EXPECT_EQ(PublicKeyDer(kDevPem, der), 1);
  return der;
}

platform::SignatureResult Verify(const Bytes& key, const std::string& strData, const Bytes& sig) {
  return platform::VerifyEcdsaSha256(key.data(), key.size(), strData.data(), strData.size(), sig.data(), sig.size());
}

TEST(SignatureVerify, SignatureAsOpensslWritesItIsValid) {
  EXPECT_EQ(Verify(DevKey(), kMessage, FromHex(kSignature)), platform::SignatureResult::Valid);
}

TEST(SignatureVerify, OtherBytesOrDamagedSignaturesAreInvalid) {
  const Bytes key = DevKey();
  const Bytes sig = FromHex(kSignature);
  EXPECT_EQ(Verify(key, "a signed list!", sig), platform::SignatureResult::Invalid);
  EXPECT_EQ(Verify(key, "", sig), platform::SignatureResult::Invalid);
  Bytes changed = sig;
  changed[40] ^= 0x01;
  EXPECT_EQ(Verify(key, kMessage, changed), platform::SignatureResult::Invalid);
  for (std::size_t n : {0u, 1u, 2u, 8u, 38u, 70u}) {
    EXPECT_EQ(Verify(key, kMessage, Bytes(sig.begin(), sig.begin() + n)), platform::SignatureResult::Invalid)
        << "truncated to " << n;
  }
  // The same r and s, but not strict DER: libcrypto and CNG alike refuse.
  const std::vector<std::string> notDer = {
      kSignature + "00",                                    // a byte after the signature
      "308145022100" + kR + "0220" + kS,                    // the sequence length in long form
      "3046022100" + kR + "022100" + kS,                    // s with a needless leading zero
      "3044022100" + kR + "0220" + kS.substr(0, 62) + "08",  // lengths that disagree
      kR + kS,                                              // CNG's own form, not DER
      "3045022000" + kR.substr(2) + "0221" + kS + "00",     // the integers' bounds moved
      "3006020100020101",                                   // r = 0
      "3045022100" + kS + "0220" + kR.substr(2),            // r and s swapped
  };
  for (const std::string& str : notDer)
    EXPECT_EQ(Verify(key, kMessage, FromHex(str)), platform::SignatureResult::Invalid) << str;
}

TEST(SignatureVerify, KeysOtherThanP256AreRefused) {
  const Bytes sig = FromHex(kSignature);
  EXPECT_EQ(Verify(FromHex(kP384Key), kMessage, sig), platform::SignatureResult::BadKey);
  Bytes key = DevKey();
  EXPECT_EQ(Verify(Bytes(key.begin(), key.end() - 1), kMessage, sig), platform::SignatureResult::BadKey);
  // A point off the curve: libcrypto and Windows refuse the key itself;
  // Wine's CNG takes it and then finds the signature invalid. Either way
  // nothing is accepted.
  key.back() ^= 0x01;
  const platform::SignatureResult result = Verify(key, kMessage, sig);
  EXPECT_TRUE(result == platform::SignatureResult::BadKey || result == platform::SignatureResult::Invalid);
}

TEST(SignatureKeys, PemToDerAndKeyId) {
  const Bytes der = DevKey();
  EXPECT_EQ(der.size(), 91u);
  EXPECT_EQ(KeyId(der), kDevKeyId);
  // CR LF line ends, as a key that went through a Windows editor.
  std::string strCrlf;
  for (const char* p = kDevPem; *p; ++p) strCrlf += *p == '\n' ? std::string("\r\n") : std::string(1, *p);
  Bytes crlf;
  EXPECT_EQ(PublicKeyDer(strCrlf, crlf), 1);
  EXPECT_EQ(crlf, der);
  Bytes bad;
  std::string strPrivate = kDevPem;
  strPrivate.replace(strPrivate.find("PUBLIC"), 6, "EC PRIVATE");
  EXPECT_EQ(PublicKeyDer(strPrivate, bad), 0);
  std::string strStray = kDevPem;
  strStray[40] = '#';
  EXPECT_EQ(PublicKeyDer(strStray, bad), 0);
  EXPECT_EQ(PublicKeyDer(std::string(kDevPem).substr(0, 80), bad), 0);  // no end line
}

// A bundle folder made the working folder for one test.
class SignedFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    m_old = std::filesystem::current_path();
    m_path = std::filesystem::temp_directory_path() / ("qrt_signed_" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(m_path);
    std::filesystem::current_path(m_path);
  }
  void TearDown() override {
    std::filesystem::current_path(m_old);
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
  }
  static void Write(const std::string& strName, const std::string& strData) {
    std::ofstream(strName, std::ios::binary) << strData;
  }
  static std::string SignatureBytes() {
    const Bytes sig = FromHex(kSignature);
    return std::string(sig.begin(), sig.end());
  }
  std::filesystem::path m_old;
  std::filesystem::path m_path;
};

TEST_F(SignedFolder, SignedByATrustedKey) {
  Write(kChecksumListName, kMessage);
  Write(kSignatureName, SignatureBytes());
  const SignedListCheck check = CheckSignedList(true, {DevKey()});
  EXPECT_EQ(check.verdict, SignatureVerdict::Ok);
  EXPECT_EQ(check.strKeyId, kDevKeyId);
  EXPECT_EQ(check.strList, kMessage);
}

TEST_F(SignedFolder, UnsignedFolderOnlyWhereNoneIsRequired) {
  EXPECT_EQ(CheckSignedList(false, {DevKey()}).verdict, SignatureVerdict::Unsigned);
  SignedListCheck check = CheckSignedList(true, {DevKey()});
  EXPECT_EQ(check.verdict, SignatureVerdict::Missing);
  EXPECT_EQ(check.strMessage, "No signed SHA256SUMS! Update abort!");
  EXPECT_NE(check.strReason.find("no SHA256SUMS and no SHA256SUMS.sig"), std::string::npos) << check.strReason;
  Write(kChecksumListName, kMessage);
  EXPECT_EQ(CheckSignedList(false, {DevKey()}).verdict, SignatureVerdict::Unsigned);
  check = CheckSignedList(true, {DevKey()});
  EXPECT_EQ(check.verdict, SignatureVerdict::Missing);
  EXPECT_NE(check.strReason.find("SHA256SUMS is not signed"), std::string::npos) << check.strReason;
}

TEST_F(SignedFolder, ChangedListOrSignatureWithoutListIsRefusedEvenWhereNoneIsRequired) {
  Write(kChecksumListName, "a signed list.\n");
  Write(kSignatureName, SignatureBytes());
  SignedListCheck check = CheckSignedList(false, {DevKey()});
  EXPECT_EQ(check.verdict, SignatureVerdict::Bad);
  EXPECT_EQ(check.strMessage, "SHA256SUMS does not match its signature! Update abort!");
  EXPECT_NE(check.strReason.find(kDevKeyId), std::string::npos) << check.strReason;
  EXPECT_TRUE(check.strList.empty());
  // The signer's key beside a changed list does not turn it into "untrusted".
  Write(kSignerKeyName, kDevPem);
  EXPECT_EQ(CheckSignedList(false, {}).verdict, SignatureVerdict::Bad);
  std::filesystem::remove(kChecksumListName);
  check = CheckSignedList(false, {DevKey()});
  EXPECT_EQ(check.verdict, SignatureVerdict::Missing);
  EXPECT_NE(check.strReason.find("without SHA256SUMS"), std::string::npos) << check.strReason;
}

TEST_F(SignedFolder, ValidSignatureByAKeyNotTrusted) {
  Write(kChecksumListName, kMessage);
  Write(kSignatureName, SignatureBytes());
  // Without the signer's key beside it, whose signature it is cannot be told.
  EXPECT_EQ(CheckSignedList(false, {}).verdict, SignatureVerdict::Bad);
  Write(kSignerKeyName, kDevPem);
  const SignedListCheck check = CheckSignedList(false, {});
  EXPECT_EQ(check.verdict, SignatureVerdict::Untrusted);
  EXPECT_EQ(check.strKeyId, kDevKeyId);
  EXPECT_EQ(check.strMessage, "SHA256SUMS is signed by an untrusted key! Update abort!");
  EXPECT_NE(check.strReason.find("without trusted keys"), std::string::npos) << check.strReason;
}

TEST_F(SignedFolder, SignatureThatIsNoFileOrTooLarge) {
  Write(kChecksumListName, kMessage);
  std::filesystem::create_directory(kSignatureName);
  SignedListCheck check = CheckSignedList(false, {DevKey()});
  EXPECT_EQ(check.verdict, SignatureVerdict::Unreadable);
  EXPECT_EQ(check.strMessage, "SHA256SUMS.sig cannot be read! Update abort!");
  std::filesystem::remove(kSignatureName);
  Write(kSignatureName, SignatureBytes() + std::string(kSignatureMaxBytes, '\0'));
  EXPECT_EQ(CheckSignedList(false, {DevKey()}).verdict, SignatureVerdict::Unreadable);
  Write(kSignatureName, SignatureBytes());
  std::filesystem::remove(kChecksumListName);
  std::filesystem::create_directory(kChecksumListName);
  check = CheckSignedList(false, {DevKey()});
  EXPECT_EQ(check.verdict, SignatureVerdict::Unreadable);
  EXPECT_EQ(check.strMessage, "SHA256SUMS cannot be read! Update abort!");
}

}  // namespace
