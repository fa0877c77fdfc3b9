// Fuzzes the SHA256SUMS parser with arbitrary bytes. The input is copied into
// a heap buffer of exactly its size, so AddressSanitizer reports any read past
// its end. Every digest the parser accepts is checked against lines found
// here independently: a line of the input (LF-separated, one trailing CR
// dropped) that is an optional backslash, 64 hex digits, a space, a space or
// '*', and a non-empty name, whose digits spell the digest and whose name is
// the entry's. A list that is accepted must consist of such lines and blank
// ones only.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <utility>

#include "image/ChecksumList.h"

namespace {

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

unsigned Nibble(char c) {
  if (c <= '9') return static_cast<unsigned>(c - '0');
  return static_cast<unsigned>((c | 0x20) - 'a' + 10);
}

// The (digest in lower-case hex, raw name) of a well-shaped line, and
// whether it was escaped; false for any other line.
bool WellShaped(const std::string& strLine, std::string& strHex, std::string& strName, bool& bEscaped) {
  std::size_t i = 0;
  bEscaped = !strLine.empty() && strLine[0] == '\\';
  if (bEscaped) i = 1;
  if (strLine.size() < i + 67) return false;
  strHex.clear();
  for (std::size_t k = 0; k < 64; ++k) {
    const char c = strLine[i + k];
    if (!IsHex(c)) return false;
    strHex += "0123456789abcdef"[Nibble(c)];
  }
  if (strLine[i + 64] != ' ' || (strLine[i + 65] != ' ' && strLine[i + 65] != '*')) return false;
  strName = strLine.substr(i + 66);
  return !strName.empty();
}

// sha256sum's escapes as a separate decoder: the name, or false.
bool Decode(const std::string& strRaw, std::string& strName) {
  strName.clear();
  for (std::size_t k = 0; k < strRaw.size(); ++k) {
    if (strRaw[k] != '\\') {
      strName += strRaw[k];
    } else if (k + 1 < strRaw.size() && (strRaw[k + 1] == '\\' || strRaw[k + 1] == 'n' || strRaw[k + 1] == 'r')) {
      strName += strRaw[k + 1] == '\\' ? '\\' : strRaw[k + 1] == 'n' ? '\n' : '\r';
      ++k;
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize) {
  auto pCopy = std::make_unique<char[]>(nSize == 0 ? 1 : nSize);
  if (nSize > 0) std::memcpy(pCopy.get(), pData, nSize);
  ChecksumList list;
  const int nResult = list.Parse(nSize == 0 ? nullptr : pCopy.get(), nSize);

  // The lines of the input, seen independently.
  std::set<std::pair<std::string, std::string>> shaped;  // (hex, decoded name)
  bool bAllShaped = true;
  const std::string strAll(reinterpret_cast<const char*>(pData), nSize);
  std::size_t nStart = 0;
  while (nStart < strAll.size()) {
    std::size_t nEnd = strAll.find('\n', nStart);
    if (nEnd == std::string::npos) nEnd = strAll.size();
    std::string strLine = strAll.substr(nStart, nEnd - nStart);
    nStart = nEnd + 1;
    if (!strLine.empty() && strLine.back() == '\r') strLine.pop_back();
    if (strLine.empty()) continue;
    std::string strHex, strRaw, strName;
    bool bEscaped = false;
    if (!WellShaped(strLine, strHex, strRaw, bEscaped) || strRaw.find('\0') != std::string::npos ||
        (bEscaped && !Decode(strRaw, strName))) {
      bAllShaped = false;
      continue;
    }
    shaped.insert({strHex, bEscaped ? strName : strRaw});
  }

  if (nResult == 1) {
    if (!bAllShaped || list.m_nBadLine != 0) std::abort();
    for (const ChecksumEntry& e : list.m_entries) {
      if (shaped.count({platform::Sha256Hex(e.digest), e.strName}) == 0) std::abort();
      if (list.Find(e.strName) != &e) std::abort();
    }
  } else {
    if (nResult != 0 || !list.m_entries.empty() || list.m_nBadLine <= 0) std::abort();
    // Refused for cause: a line of another shape, or a name with two digests.
    if (bAllShaped) {
      std::set<std::string> names;
      bool bConflict = false;
      for (const auto& hn : shaped) bConflict = !names.insert(hn.second).second || bConflict;
      if (!bConflict) std::abort();
    }
  }
  return 0;
}
