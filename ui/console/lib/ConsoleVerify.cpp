// The "verify" action: every file the bundle's SHA256SUMS lists, checked in
// the working folder against its digest. Standard output carries only the
// result lines, so that a script can read them; reasons go to standard error.
#include "app/UpdateApp.h"
#include "image/ChecksumList.h"
#include "image/SignedList.h"
#include "image/TrustedKeys.h"
#include "image/FirmwareImage.h"
#include "ui/console/lib/Console.h"
#include "common/ResultCodes.h"
#include "update/Models.h"

namespace ui {

namespace {

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

// Firmware containers are held to their size as well as to the list.
std::size_t ExactSizeOf(const std::string& strName) {
  for (const ContainerInfo& c : kFirmwareContainers)
    if (strName == c.pszFile) return kImageSize;
  return 0;
}

// The signature's line ("SHA256SUMS.sig TAB ok TAB KEYID", "bad",
// "untrusted TAB KEYID", "missing"; none for an unsigned bundle where none is
// required), and the reason of a refusal on standard error.
void PrintSignature(const SignedListCheck& check, std::ostream& out, std::ostream& err) {
  const char* pszWord = nullptr;
  switch (check.verdict) {
    case SignatureVerdict::Unsigned: return;
    case SignatureVerdict::Ok: pszWord = "ok"; break;
    case SignatureVerdict::Untrusted: pszWord = "untrusted"; break;
    case SignatureVerdict::Missing: pszWord = "missing"; break;
    case SignatureVerdict::Bad:
    case SignatureVerdict::Unreadable: pszWord = "bad"; break;
  }
  out << kSignatureName << '\t' << pszWord;
  if (!check.strKeyId.empty()) out << '\t' << check.strKeyId;
  out << '\n';
  if (check.verdict != SignatureVerdict::Ok) err << "qrtupdate: verify: " << check.strReason << "\n";
}

}  // namespace

int VerifyChecksums(std::ostream& out, std::ostream& err) {
  BundleList bundle;
  // A program built to require a signed list requires it here too, except
  // under the hidden mode's name.
  bundle.bSignatureRequired = SignatureRequired() && StartFileName().find("WRAPIMAGES") == std::string::npos;
  const std::string strList = kChecksumListName;
  const ChecksumListStatus status = AcceptBundleList(bundle);
  PrintSignature(bundle.signature, out, err);
  switch (status) {
    case ChecksumListStatus::Read:
      break;
    case ChecksumListStatus::SignatureRefused:
      // A list its signature does not vouch for vouches for no file.
      out.flush();
      return kErrorContainerMissing;
    case ChecksumListStatus::Absent:
      err << "qrtupdate: verify: no " << strList << " in the working folder: nothing to check against\n";
      return kErrorContainerMissing;
    case ChecksumListStatus::Unreadable:
    case ChecksumListStatus::TooLarge:
    case ChecksumListStatus::Malformed: {
      // The same words the update uses for a list it refuses.
      BundleFileCheck check;
      check.verdict = BundleVerdict::ListRefused;
      err << "qrtupdate: verify: " << BundleRefusalReason(bundle, "", 0, check) << "\n";
      return kErrorContainerMissing;
    }
  }
  if (bundle.list.m_entries.empty()) {
    err << "qrtupdate: verify: " << strList << " lists no file\n";
    return kErrorContainerMissing;
  }
  bool bAllOk = true;
  for (const ChecksumEntry& entry : bundle.list.m_entries) {
    const std::string strName = PrintableName(entry.strName);
    if (!IsPlainFileName(entry.strName)) {
      // Not a file of this folder: not opened, and not passed either.
      err << "qrtupdate: verify: " << strName << " is not a file name in the working folder (it holds a path); "
          << "not read\n";
      bAllOk = false;
      continue;
    }
    const std::size_t nExactSize = ExactSizeOf(entry.strName);
    const BundleFileCheck check = CheckBundleFile(bundle, entry.strName, nExactSize);
    const char* pszWord = "differs";
    switch (check.verdict) {
      case BundleVerdict::Ok: pszWord = "ok"; break;
      case BundleVerdict::Missing:
      case BundleVerdict::Unreadable: pszWord = "missing"; break;
      default: break;
    }
    out << strName << '\t' << pszWord << '\n';
    // What the word alone does not say: a file that is there but cannot be
    // read, a container of the wrong size.
    if (check.verdict == BundleVerdict::Unreadable || check.verdict == BundleVerdict::WrongSize)
      err << "qrtupdate: verify: " << PrintableName(BundleRefusalReason(bundle, entry.strName, nExactSize, check))
          << "\n";
    bAllOk = bAllOk && check.verdict == BundleVerdict::Ok;
  }
  out.flush();
  err.flush();
  return bAllOk ? kResultOk : kErrorContainerMissing;
}

}  // namespace ui
