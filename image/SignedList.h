// The maker's signature over a bundle's SHA256SUMS. A signed bundle carries
// SHA256SUMS.sig beside the list: the DER ECDSA signature (P-256, SHA-256)
// over the list's bytes, as `openssl dgst -sha256 -sign KEY.pem` writes it.
// The list is believed only when one of the keys the program was built to
// trust verifies that signature; its containers are then checked against
// the list as before.
//
// A bundle may also carry the signer's public key (SHA256SUMS.pem). It is
// never trusted: it only tells a list signed by a key the program does not
// know ("untrusted", with that key's id) from a list changed after signing
// or a damaged signature ("bad").
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

inline constexpr char kSignatureName[] = "SHA256SUMS.sig";
inline constexpr char kSignerKeyName[] = "SHA256SUMS.pem";

// A DER ECDSA P-256 signature is at most 72 bytes; anything much larger is
// not one and is refused unread.
constexpr std::size_t kSignatureMaxBytes = 4096;

enum class SignatureVerdict {
  Unsigned,    // no SHA256SUMS.sig, and the program requires none
  Ok,          // verified with a trusted key
  Bad,         // verified by no trusted key, nor by the signer's key beside it
  Untrusted,   // verified by the signer's key beside it, which is not trusted
  Unreadable,  // the signature or the list is not a regular file that can be read, or too large
  Missing,     // the program requires a signed list, and there is none
};

struct SignedListCheck {
  SignatureVerdict verdict = SignatureVerdict::Unsigned;
  std::string strKeyId;    // Ok: the trusted key's id; Untrusted: the signer's
  std::string strMessage;  // the update's message box ("... Update abort!")
  std::string strReason;   // why, one sentence without a final stop, for the console
  std::string strList;     // Ok: the list's bytes that were verified, to be parsed
};

// A key's id: the first 16 hex digits of the SHA-256 of its DER form.
std::string KeyId(const std::vector<std::uint8_t>& key);

// The DER form of a PEM "PUBLIC KEY" text; 0 when the text is not one.
int PublicKeyDer(const std::string& strPem, std::vector<std::uint8_t>& der);

// Checks SHA256SUMS against SHA256SUMS.sig in the working folder with the
// trusted keys. bRequired: a folder without a signature (or without a list)
// is Missing rather than Unsigned.
SignedListCheck CheckSignedList(bool bRequired);

// The same with the keys given (DER), for the build's keys and for tests.
SignedListCheck CheckSignedList(bool bRequired, const std::vector<std::vector<std::uint8_t>>& trusted);

// The trusted keys of this build, as DER; a key given at build time that is
// not a PEM public key is left out (CMake refuses such a file already).
std::vector<std::vector<std::uint8_t>> TrustedKeys();
