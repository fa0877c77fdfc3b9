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
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "image/SignedList.h"
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
  SignatureRefused,  // its signature is bad, untrusted, unreadable, or missing where required (see SignedList.h)
};

// Reads and parses the list at strPath without ever waiting on it: a FIFO
// or a device of that name is refused at once.
ChecksumListStatus ReadChecksumList(const std::string& strPath, ChecksumList& list);

// The outcome of checking some bytes against the list.
enum class ChecksumVerdict { Matches, Differs, NotListed };
ChecksumVerdict CheckAgainstList(const ChecksumList& list, const std::string& strName,
                                 const platform::Sha256Digest& digest);

// The bundle rule, used by the update (before the link opens and at each
// container's load) and by "verify" alike:
//   - the working folder's SHA256SUMS, when there is one, must be usable;
//   - a file's digest is that of the whole file, as sha256sum computes it,
//     and must be the one the list gives for its name;
//   - a firmware container holds exactly its image size, with or without a
//     list (a longer one would be sent cut short, a shorter one padded).
// A folder without a list passes the list part.

// The list as one run holds it: read and judged on the first check only, so
// that every file of a run is checked against the same list.
struct BundleList {
  bool bSignatureRequired = false;  // set before the first check: a folder without a signed list is refused
  bool bRead = false;
  ChecksumListStatus status = ChecksumListStatus::Absent;
  ChecksumList list;
  SignedListCheck signature;  // the list's signature (SHA256SUMS.sig), checked before the list is read
};

// Reads the working folder's list into bundle (the first time) and says
// whether it is acceptable: Absent or Read are, anything else refuses every
// file. With SHA256SUMS.sig beside the list (or a signature required), the
// signature is checked first against the trusted keys, and only the bytes it
// verified are parsed. Every check of a file passes here first, so a check on the list
// itself belongs here and nowhere else.
ChecksumListStatus AcceptBundleList(BundleList& bundle);

enum class BundleVerdict {
  Ok,            // may be used: right size, and listed with its digest when there is a list
  Missing,       // no file of that name
  Unreadable,    // not a regular file, not permitted, or a read error
  WrongSize,     // a container that does not hold exactly its size
  ListRefused,   // the folder's list is not acceptable (see BundleList::status)
  NotListed,     // the list does not name the file
  Differs,       // the list gives another digest
};

struct BundleFileCheck {
  BundleVerdict verdict = BundleVerdict::Missing;
  std::uint64_t nBytes = 0;       // bytes read; with an exact size, at most one more than it
  bool bDigest = false;           // digest holds the whole file's SHA-256
  platform::Sha256Digest digest{};
  bool bListed = false;           // checked against a list
};

// Checks one file of the working folder by the bundle rule. nExactSize > 0
// asks for exactly that many bytes (a firmware container); 0 takes any size.
// pBytes, when given, receives the bytes that were checked, so that what is
// used afterwards is what was checked, not the file read again.
BundleFileCheck CheckBundleFile(BundleList& bundle, const std::string& strName, std::size_t nExactSize,
                                std::vector<std::uint8_t>* pBytes = nullptr);

// Why a file was refused, in the user's words ("FW2B.qrt holds 130000
// bytes; a firmware container holds exactly 128000"); "" for Ok.
std::string BundleRefusalReason(const BundleList& bundle, const std::string& strName, std::size_t nExactSize,
                                const BundleFileCheck& check);
