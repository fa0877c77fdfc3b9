// Fuzzes the SHA256SUMS list with arbitrary bytes, from the parser through
// the file a bundle carries to the lookup of a container's name. The input is
// copied into a heap buffer of exactly its size, so AddressSanitizer reports
// any read past its end. Every digest the parser accepts is checked against
// lines found here independently: a line of the input (LF-separated, one
// trailing CR dropped) that is an optional backslash, 64 hex digits, a space,
// a space or '*', and a non-empty name, whose digits spell the digest and
// whose name is the entry's. A list that is accepted must consist of such
// lines and blank ones only.
//
// The same bytes are then written to a file and read as the update reads the
// bundle's list: the file must give what the bytes gave. One input in sixteen is
// padded with blank lines to within two bytes of the size limit, on either
// side of it, so that the limit itself is tried: a list one byte too large is
// refused, one at the limit is read. Every name the list holds must be found
// with its digest; the name with its last character changed, cut short or
// lengthened, and the digest with a bit flipped, must not match unless the
// independent lines say so.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <system_error>
#include <utility>

#include <unistd.h>

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

// A folder of this process's own for the list file, removed at exit.
std::string ListPath() {
  namespace fs = std::filesystem;
  static fs::path s_dir;
  if (s_dir.empty()) {
    s_dir = fs::temp_directory_path() / ("qrt_checksum_fuzz_" + std::to_string(::getpid()));
    fs::create_directories(s_dir);
    std::atexit([] {
      std::error_code ec;
      fs::remove_all(s_dir, ec);
    });
  }
  return (s_dir / kChecksumListName).string();
}

// What a lookup of strName with digest must give, by the independent lines.
ChecksumVerdict Expected(const std::map<std::string, std::string>& named, const std::string& strName,
                         const platform::Sha256Digest& digest) {
  auto it = named.find(strName);
  if (it == named.end()) return ChecksumVerdict::NotListed;
  return it->second == platform::Sha256Hex(digest) ? ChecksumVerdict::Matches : ChecksumVerdict::Differs;
}

// The bytes as a file, read as the update reads the bundle's list, and the
// lookups made on what it read.
void CheckFile(const std::uint8_t* pData, std::size_t nSize, const ChecksumList& parsed, int nResult,
               const std::map<std::string, std::string>& named) {
  std::string strFile(reinterpret_cast<const char*>(pData), nSize);
  // Blank lines change nothing in a list: padded with them, the file is the
  // same list at a size from two bytes below the limit to two above.
  if (nSize > 0 && nSize < kChecksumListMaxBytes - 2 && (pData[0] & 15) == 0)
    strFile.resize(kChecksumListMaxBytes - 2 + (pData[0] >> 3) % 5, '\n');
  const std::string strPath = ListPath();
  {
    std::ofstream out(strPath, std::ios::binary | std::ios::trunc);
    out.write(strFile.data(), static_cast<std::streamsize>(strFile.size()));
    if (!out) std::abort();  // the fuzzer's own folder must take the file
  }
  ChecksumList list;
  const ChecksumListStatus status = ReadChecksumList(strPath, list);
  if (strFile.size() > kChecksumListMaxBytes) {
    if (status != ChecksumListStatus::TooLarge || !list.m_entries.empty()) std::abort();
    return;
  }
  if (status != (nResult == 1 ? ChecksumListStatus::Read : ChecksumListStatus::Malformed)) std::abort();
  if (list.m_nBadLine != parsed.m_nBadLine || list.m_entries.size() != parsed.m_entries.size()) std::abort();
  for (std::size_t i = 0; i < list.m_entries.size(); ++i) {
    const ChecksumEntry& e = list.m_entries[i];
    if (e.strName != parsed.m_entries[i].strName || e.digest != parsed.m_entries[i].digest) std::abort();
    if (CheckAgainstList(list, e.strName, e.digest) != ChecksumVerdict::Matches) std::abort();
    platform::Sha256Digest other = e.digest;
    other[nSize % other.size()] ^= static_cast<std::uint8_t>(1u << (nSize % 8));
    if (CheckAgainstList(list, e.strName, other) != ChecksumVerdict::Differs) std::abort();
    // Names next to a listed one are other names.
    std::string strChanged = e.strName;
    strChanged.back() = static_cast<char>(strChanged.back() ^ 1);
    for (const std::string& strNear : {strChanged, e.strName.substr(0, e.strName.size() - 1), e.strName + "x"}) {
      if (CheckAgainstList(list, strNear, e.digest) != Expected(named, strNear, e.digest)) std::abort();
    }
  }
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

  // Names with their digests, for the lookups of an accepted list.
  std::map<std::string, std::string> named;
  for (const auto& hn : shaped) named[hn.second] = hn.first;

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
  CheckFile(pData, nSize, list, nResult, named);
  return 0;
}
