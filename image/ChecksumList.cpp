#include "image/ChecksumList.h"

#include <cstdio>

#include "platform/file.h"

namespace {

constexpr std::size_t kHexDigits = 2 * platform::kSha256Size;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Undoes sha256sum's escapes in the name of a line that started with a
// backslash; 0 on an escape it never writes or a lone trailing backslash.
int Unescape(const char* p, std::size_t n, std::string& strName) {
  strName.clear();
  for (std::size_t i = 0; i < n; ++i) {
    if (p[i] != '\\') {
      strName += p[i];
      continue;
    }
    if (++i == n) return 0;
    switch (p[i]) {
      case '\\': strName += '\\'; break;
      case 'n': strName += '\n'; break;
      case 'r': strName += '\r'; break;
      default: return 0;
    }
  }
  return 1;
}

// One line without its LF (and without the CR of a CR LF end). 1 with the
// digest and name when it has sha256sum's shape.
int ParseLine(const char* p, std::size_t n, ChecksumEntry& entry) {
  const bool bEscaped = n > 0 && p[0] == '\\';
  if (bEscaped) {
    ++p;
    --n;
  }
  // Digest, space, space or '*', at least one byte of name.
  if (n < kHexDigits + 3) return 0;
  for (std::size_t i = 0; i < kHexDigits; i += 2) {
    const int nHigh = HexValue(p[i]);
    const int nLow = HexValue(p[i + 1]);
    if (nHigh < 0 || nLow < 0) return 0;
    entry.digest[i / 2] = static_cast<std::uint8_t>(nHigh << 4 | nLow);
  }
  if (p[kHexDigits] != ' ' || (p[kHexDigits + 1] != ' ' && p[kHexDigits + 1] != '*')) return 0;
  const char* pName = p + kHexDigits + 2;
  const std::size_t nName = n - kHexDigits - 2;
  // No file name holds a NUL; a list that does is not sha256sum's.
  for (std::size_t i = 0; i < nName; ++i)
    if (pName[i] == '\0') return 0;
  if (bEscaped) return Unescape(pName, nName, entry.strName);
  entry.strName.assign(pName, nName);
  return 1;
}

}  // namespace

int ChecksumList::Parse(const char* pData, std::size_t nSize) {
  m_entries.clear();
  m_index.clear();
  m_nBadLine = 0;
  std::size_t nPos = 0;
  int nLine = 0;
  while (nPos < nSize) {
    ++nLine;
    std::size_t nEnd = nPos;
    while (nEnd < nSize && pData[nEnd] != '\n') ++nEnd;
    const std::size_t nNext = nEnd < nSize ? nEnd + 1 : nEnd;
    std::size_t nLength = nEnd - nPos;
    if (nLength > 0 && pData[nPos + nLength - 1] == '\r') --nLength;
    if (nLength > 0) {
      ChecksumEntry entry;
      bool bOk = ParseLine(pData + nPos, nLength, entry) == 1;
      if (bOk) {
        auto it = m_index.find(entry.strName);
        if (it == m_index.end()) {
          m_index.emplace(entry.strName, m_entries.size());
          m_entries.push_back(std::move(entry));
        } else {
          // The same name twice is harmless only when both say the same.
          bOk = m_entries[it->second].digest == entry.digest;
        }
      }
      if (!bOk) {
        m_entries.clear();
        m_index.clear();
        m_nBadLine = nLine;
        return 0;
      }
    }
    nPos = nNext;
  }
  return 1;
}

const ChecksumEntry* ChecksumList::Find(const std::string& strName) const {
  auto it = m_index.find(strName);
  return it == m_index.end() ? nullptr : &m_entries[it->second];
}

ChecksumListStatus ReadChecksumList(const std::string& strPath, ChecksumList& list) {
  list.Parse(nullptr, 0);
  if (!platform::PathExists(strPath)) return ChecksumListStatus::Absent;
  // Only a regular file, opened without waiting: a FIFO or a folder of the
  // name is refused at once.
  platform::UniqueFile file(platform::OpenRegularFileForReading(strPath));
  if (!file) return ChecksumListStatus::Unreadable;
  // One byte more than allowed tells a list that is too large.
  std::string strData(kChecksumListMaxBytes + 1, '\0');
  std::size_t nTotal = 0;
  while (nTotal < strData.size()) {
    const std::size_t n = std::fread(&strData[nTotal], 1, strData.size() - nTotal, file.get());
    if (n == 0) break;
    nTotal += n;
  }
  if (std::ferror(file.get())) return ChecksumListStatus::Unreadable;
  if (nTotal > kChecksumListMaxBytes) return ChecksumListStatus::TooLarge;
  return list.Parse(strData.data(), nTotal) ? ChecksumListStatus::Read : ChecksumListStatus::Malformed;
}

ChecksumVerdict CheckAgainstList(const ChecksumList& list, const std::string& strName,
                                 const platform::Sha256Digest& digest) {
  const ChecksumEntry* pEntry = list.Find(strName);
  if (pEntry == nullptr) return ChecksumVerdict::NotListed;
  return pEntry->digest == digest ? ChecksumVerdict::Matches : ChecksumVerdict::Differs;
}

namespace {

// Files are hashed in pieces of this size, so that a large file of the
// bundle is never held in memory whole.
constexpr std::size_t kChunkSize = 64 * 1024;

// Reads and hashes the file; with nExactSize stops one byte past it, which
// is enough to tell the size is wrong. 0 on a read error.
int HashFile(std::FILE* f, std::size_t nExactSize, std::vector<std::uint8_t>* pBytes, BundleFileCheck& check) {
  platform::Sha256 sha;
  std::vector<std::uint8_t> buffer(kChunkSize);
  bool bOk = true;
  for (;;) {
    std::size_t nWant = buffer.size();
    if (nExactSize > 0 && nExactSize + 1 - check.nBytes < nWant) nWant = nExactSize + 1 - check.nBytes;
    if (nWant == 0) break;
    const std::size_t n = std::fread(buffer.data(), 1, nWant, f);
    if (n == 0) break;
    bOk = sha.Add(buffer.data(), n) == 1 && bOk;
    if (pBytes) pBytes->insert(pBytes->end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(n));
    check.nBytes += n;
  }
  if (std::ferror(f)) return 0;
  check.bDigest = sha.Finish(check.digest) == 1 && bOk;
  return 1;
}

}  // namespace

ChecksumListStatus AcceptBundleList(BundleList& bundle) {
  if (!bundle.bRead) {
    bundle.bRead = true;
    bundle.signature = CheckSignedList(bundle.bSignatureRequired);
    switch (bundle.signature.verdict) {
      case SignatureVerdict::Unsigned:
        bundle.status = ReadChecksumList(kChecksumListName, bundle.list);
        break;
      case SignatureVerdict::Ok:
        // Never the list read again: a file swapped in after the check
        // would not be the one signed.
        bundle.status = bundle.list.Parse(bundle.signature.strList.data(), bundle.signature.strList.size())
                            ? ChecksumListStatus::Read
                            : ChecksumListStatus::Malformed;
        break;
      case SignatureVerdict::Bad:
      case SignatureVerdict::Untrusted:
      case SignatureVerdict::Unreadable:
      case SignatureVerdict::Missing:
        bundle.status = ChecksumListStatus::SignatureRefused;
        break;
    }
  }
  return bundle.status;
}

BundleFileCheck CheckBundleFile(BundleList& bundle, const std::string& strName, std::size_t nExactSize,
                                std::vector<std::uint8_t>* pBytes) {
  BundleFileCheck check;
  if (pBytes) pBytes->clear();
  // The file's own faults first: they hold whatever the list says.
  {
    platform::UniqueFile file(platform::OpenRegularFileForReading(strName));
    if (!file) {
      check.verdict = platform::PathExists(strName) ? BundleVerdict::Unreadable : BundleVerdict::Missing;
      return check;
    }
    if (!HashFile(file.get(), nExactSize, pBytes, check)) {
      check.verdict = BundleVerdict::Unreadable;
      return check;
    }
  }
  if (nExactSize > 0 && check.nBytes != nExactSize) {
    check.verdict = BundleVerdict::WrongSize;
    return check;
  }
  switch (AcceptBundleList(bundle)) {
    case ChecksumListStatus::Absent:
      check.verdict = BundleVerdict::Ok;
      return check;
    case ChecksumListStatus::Read:
      break;
    case ChecksumListStatus::Unreadable:
    case ChecksumListStatus::TooLarge:
    case ChecksumListStatus::Malformed:
    case ChecksumListStatus::SignatureRefused:
      check.verdict = BundleVerdict::ListRefused;
      return check;
  }
  check.bListed = true;
  // Bytes whose digest could not be computed count as not matching.
  if (!check.bDigest) {
    check.verdict = BundleVerdict::Differs;
    return check;
  }
  switch (CheckAgainstList(bundle.list, strName, check.digest)) {
    case ChecksumVerdict::Matches: check.verdict = BundleVerdict::Ok; break;
    case ChecksumVerdict::Differs: check.verdict = BundleVerdict::Differs; break;
    case ChecksumVerdict::NotListed: check.verdict = BundleVerdict::NotListed; break;
  }
  return check;
}

std::string BundleRefusalReason(const BundleList& bundle, const std::string& strName, std::size_t nExactSize,
                                const BundleFileCheck& check) {
  const std::string strList = kChecksumListName;
  switch (check.verdict) {
    case BundleVerdict::Ok:
      return "";
    case BundleVerdict::Missing:
      return strName + " is missing";
    case BundleVerdict::Unreadable:
      return strName + " is there but is not a regular file, or reading it is not permitted";
    case BundleVerdict::WrongSize: {
      const std::string strSize = std::to_string(nExactSize);
      // Reading stops one byte past the size: a longer file's size is not known.
      return strName + (check.nBytes > nExactSize ? " holds more than " + strSize
                                                  : " holds only " + std::to_string(check.nBytes)) +
             " bytes; a firmware container holds exactly " + strSize + " bytes";
    }
    case BundleVerdict::ListRefused:
      switch (bundle.status) {
        case ChecksumListStatus::SignatureRefused:
          return bundle.signature.strReason;
        case ChecksumListStatus::TooLarge:
          return strList + " is larger than " + std::to_string(kChecksumListMaxBytes) +
                 " bytes: no checksum list is that large";
        case ChecksumListStatus::Malformed:
          return strList + " line " + std::to_string(bundle.list.m_nBadLine) +
                 " is not a sha256sum line ('<64 hex digits>  NAME'), or names a file listed before with another "
                 "digest";
        default:
          return strList + " cannot be read: it is not a regular file, or reading it is not permitted";
      }
    case BundleVerdict::NotListed:
      return strName + " is not listed in " + strList;
    case BundleVerdict::Differs: {
      const ChecksumEntry* pEntry = bundle.list.Find(strName);
      if (!check.bDigest || pEntry == nullptr) return strName + ": its SHA-256 could not be computed";
      return "the SHA-256 of " + strName + " is " + platform::Sha256Hex(check.digest) + ", " + strList + " gives " +
             platform::Sha256Hex(pEntry->digest);
    }
  }
  return "";
}
