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
