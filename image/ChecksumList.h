// The list of SHA-256 digests a release bundle carries beside its files
// (SHA256SUMS), in the form sha256sum writes and checks:
//
//   <64 hex digits, either case> SP (SP | '*') <file name> LF
//
// Blank lines are allowed. A line may end in CR LF (a list that went through
// a Windows editor); the CR is not taken as part of the name. A line that
// starts with a backslash is sha256sum's escaped form, written for names
// holding a backslash or a line break: in its name "\\" stands for a
// backslash, "\n" for LF and "\r" for CR, and any other escape is a fault.
// Every other line (a comment, the BSD "SHA256 (name) = ..." form, a short
// digest, a missing name, a NUL byte) makes the whole list unusable: a digest
// is never taken from a line of another shape.
#pragma once
#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "platform/digest.h"

// The list's file name, read from the working folder beside the containers.
inline constexpr char kChecksumListName[] = "SHA256SUMS";

// Lists larger than this are refused unread: a bundle's list is a few
// hundred bytes, and nothing that size is worth holding in memory.
constexpr std::size_t kChecksumListMaxBytes = 1024 * 1024;

struct ChecksumEntry {
  std::string strName;  // as listed, escapes undone
  platform::Sha256Digest digest{};
};

class ChecksumList {
 public:
  // Parses a whole list. 1 when every line is blank or of sha256sum's shape
  // and no name is listed twice with different digests; m_entries then holds
  // one entry per name, in the order first listed. 0 otherwise: m_entries is
  // empty and m_nBadLine is the 1-based line at fault.
  int Parse(const char* pData, std::size_t nSize);

  // The entry of a name (compared byte for byte), nullptr when not listed.
  const ChecksumEntry* Find(const std::string& strName) const;

  std::vector<ChecksumEntry> m_entries;
  int m_nBadLine = 0;

 private:
  std::map<std::string, std::size_t> m_index;  // name -> position in m_entries
};

enum class ChecksumListStatus {
  Absent,      // nothing of that name exists
  Read,        // read and parsed
  Unreadable,  // there, but not a regular file that can be read (a FIFO, a folder, no permission, a read error)
  TooLarge,    // more than kChecksumListMaxBytes
  Malformed,   // a line of another shape, or a name with two digests (see m_nBadLine)
};

// Reads and parses the list at strPath without ever waiting on it: a FIFO
// or a device of that name is refused at once.
ChecksumListStatus ReadChecksumList(const std::string& strPath, ChecksumList& list);

// The outcome of checking some bytes against the list.
enum class ChecksumVerdict { Matches, Differs, NotListed };
ChecksumVerdict CheckAgainstList(const ChecksumList& list, const std::string& strName,
                                 const platform::Sha256Digest& digest);
