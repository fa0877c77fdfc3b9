// The "verify" action: every file the bundle's SHA256SUMS lists, checked in
// the working folder against its digest. Standard output carries only the
// result lines, so that a script can read them; reasons go to standard error.
#include <cstdio>
#include <memory>
#include <vector>

#include "app/UpdateApp.h"
#include "image/ChecksumList.h"
#include "image/SignedList.h"
#include "image/TrustedKeys.h"
#include "platform/digest.h"
#include "platform/file.h"
#include "ui/console/lib/Console.h"
#include "update/ResultCodes.h"

namespace ui {

namespace {

// Files are hashed in pieces of this size, so that a large file listed
// beside the containers is never held in memory whole.
constexpr std::size_t kChunkSize = 64 * 1024;

// Only names of files in the working folder itself are read: a listed path
// ("sub/file", "../file", "/etc/file", "C:file", "a\\b") could lead anywhere,
// and a bundle's list never holds one.
bool IsPlainFileName(const std::string& strName) {
  if (strName.empty() || strName == "." || strName == "..") return false;
  return strName.find_first_of("/\\:") == std::string::npos;
}

// The name as one line can carry it: line breaks, tabs and backslashes
// escaped as sha256sum escapes them.
std::string PrintableName(const std::string& strName) {
  std::string str;
  for (char c : strName) {
    switch (c) {
      case '\\': str += "\\\\"; break;
      case '\n': str += "\\n"; break;
      case '\r': str += "\\r"; break;
      case '\t': str += "\\t"; break;
      default: str += c; break;
    }
  }
  return str;
}

enum class FileVerdict { Ok, Differs, Missing, Unreadable };

FileVerdict CheckFile(const ChecksumEntry& entry) {
  platform::UniqueFile file(platform::OpenRegularFileForReading(entry.strName));
  if (!file) return platform::PathExists(entry.strName) ? FileVerdict::Unreadable : FileVerdict::Missing;
  platform::Sha256 sha;
  std::vector<unsigned char> buffer(kChunkSize);
  bool bOk = true;
  for (;;) {
    const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), file.get());
    if (n > 0) bOk = sha.Add(buffer.data(), n) == 1 && bOk;
    if (n < buffer.size()) break;
  }
  if (std::ferror(file.get())) return FileVerdict::Unreadable;
  platform::Sha256Digest digest{};
  if (!sha.Finish(digest) || !bOk) return FileVerdict::Unreadable;
  return digest == entry.digest ? FileVerdict::Ok : FileVerdict::Differs;
}

// The signature's line ("SHA256SUMS.sig TAB ok TAB KEYID", "bad",
// "untrusted TAB KEYID", "missing"; none for an unsigned bundle where none is
// required) and its reason on standard error. 1 when it lets the list count.
int VerifySignature(const SignedListCheck& check, std::ostream& out, std::ostream& err) {
  const char* pszWord = nullptr;
  switch (check.verdict) {
    case SignatureVerdict::Unsigned: return 1;
    case SignatureVerdict::Ok: pszWord = "ok"; break;
    case SignatureVerdict::Untrusted: pszWord = "untrusted"; break;
    case SignatureVerdict::Missing: pszWord = "missing"; break;
    case SignatureVerdict::Bad:
    case SignatureVerdict::Unreadable: pszWord = "bad"; break;
  }
  out << kSignatureName << '\t' << pszWord;
  if (!check.strKeyId.empty()) out << '\t' << check.strKeyId;
  out << '\n';
  if (check.verdict == SignatureVerdict::Ok) return 1;
  err << "qrtupdate: verify: " << check.strReason << "\n";
  return 0;
}

}  // namespace

int VerifyChecksums(std::ostream& out, std::ostream& err) {
  // The signature first: a list is believed only when it is the maker's. A
  // program built to require one requires it here too, except under the
  // hidden mode's name.
  const SignedListCheck signature =
      CheckSignedList(SignatureRequired() && StartFileName().find("WRAPIMAGES") == std::string::npos);
  const bool bSignatureOk = VerifySignature(signature, out, err) == 1;
  auto pList = std::make_unique<ChecksumList>();
  const std::string strList = kChecksumListName;
  // A verified list is checked as the bytes that were verified.
  const ChecksumListStatus status =
      signature.verdict == SignatureVerdict::Ok
          ? (pList->Parse(signature.strList.data(), signature.strList.size()) ? ChecksumListStatus::Read
                                                                              : ChecksumListStatus::Malformed)
          : ReadChecksumList(strList, *pList);
  switch (status) {
    case ChecksumListStatus::Read:
      break;
    case ChecksumListStatus::Absent:
      err << "qrtupdate: verify: no " << strList << " in the working folder: nothing to check against\n";
      return kErrorContainerMissing;
    case ChecksumListStatus::Unreadable:
      err << "qrtupdate: verify: " << strList << " cannot be read: it is not a regular file, or reading it is "
             "not permitted\n";
      return kErrorContainerMissing;
    case ChecksumListStatus::TooLarge:
      err << "qrtupdate: verify: " << strList << " is larger than " << kChecksumListMaxBytes
          << " bytes: no checksum list is that large\n";
      return kErrorContainerMissing;
    case ChecksumListStatus::Malformed:
      err << "qrtupdate: verify: " << strList << " line " << pList->m_nBadLine
          << " is not a sha256sum line ('<64 hex digits>  NAME'), or names a file listed before with another "
             "digest\n";
      return kErrorContainerMissing;
  }
  if (pList->m_entries.empty()) {
    err << "qrtupdate: verify: " << strList << " lists no file\n";
    return kErrorContainerMissing;
  }
  bool bAllOk = true;
  for (const ChecksumEntry& entry : pList->m_entries) {
    const std::string strName = PrintableName(entry.strName);
    if (!IsPlainFileName(entry.strName)) {
      // Not a file of this folder: not opened, and not passed either.
      err << "qrtupdate: verify: " << strName << " is not a file name in the working folder (it holds a path); "
          << "not read\n";
      bAllOk = false;
      continue;
    }
    const FileVerdict verdict = CheckFile(entry);
    static const char* const kWords[] = {"ok", "differs", "missing", "missing"};
    out << strName << '\t' << kWords[static_cast<int>(verdict)] << '\n';
    if (verdict == FileVerdict::Unreadable) {
      err << "qrtupdate: verify: " << strName << " is there but is not a regular file, or reading it is not "
             "permitted\n";
    }
    bAllOk = bAllOk && verdict == FileVerdict::Ok;
  }
  out.flush();
  err.flush();
  return bAllOk && bSignatureOk ? kResultOk : kErrorContainerMissing;
}

}  // namespace ui
