// The bundle's checksum list: which lines give a digest, which make the list
// unusable, and reading it from disk without waiting on what is not a file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "image/ChecksumList.h"

namespace {

const std::string kHex = "0123456789abcdef0123456789ABCDEF00ff10ee20dd30cc40bb50aa60997088";

std::string DigestText(const ChecksumEntry& e) { return platform::Sha256Hex(e.digest); }

int Parse(ChecksumList& list, const std::string& str) { return list.Parse(str.data(), str.size()); }

class TempDir {
 public:
  TempDir() {
    m_path = std::filesystem::temp_directory_path() / ("qrt_sums_" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(m_path);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
  }
  std::string Write(const std::string& strName, const std::string& strData) const {
    std::ofstream(m_path / strName, std::ios::binary) << strData;
    return (m_path / strName).string();
  }
  std::filesystem::path m_path;
};

}  // namespace

TEST(ChecksumList, TakesSha256sumLinesInEveryFormItWrites) {
  ChecksumList list;
  // Text and binary marks, either case, a blank line, CR LF ends, the
  // escaped form of names with a backslash or a line break, a name with
  // spaces, the same line twice, and no LF after the last line.
  const std::string strList = kHex + "  FW1A.qrt\n" + "\n" + kHex + " *FW1C.qrt\r\n" + "\\" + kHex +
                              "  a\\\\b\\nc\\rd\n" + kHex + "  name with  spaces \n" + kHex + "  FW1A.qrt\n" + kHex +
                              " *last";
  ASSERT_EQ(Parse(list, strList), 1) << list.m_nBadLine;
  ASSERT_EQ(list.m_entries.size(), 5u);
  EXPECT_EQ(list.m_entries[0].strName, "FW1A.qrt");
  EXPECT_EQ(list.m_entries[1].strName, "FW1C.qrt");
  EXPECT_EQ(list.m_entries[2].strName, "a\\b\nc\rd");
  EXPECT_EQ(list.m_entries[3].strName, "name with  spaces ");
  EXPECT_EQ(list.m_entries[4].strName, "last");
  for (const ChecksumEntry& e : list.m_entries) {
    EXPECT_EQ(DigestText(e), "0123456789abcdef0123456789abcdef00ff10ee20dd30cc40bb50aa60997088");
  }
  ASSERT_NE(list.Find("FW1C.qrt"), nullptr);
  EXPECT_EQ(list.Find("fw1c.qrt"), nullptr);  // names are compared exactly
  EXPECT_EQ(list.Find("FW1C.qrt\r"), nullptr);

  platform::Sha256Digest other = list.m_entries[0].digest;
  EXPECT_EQ(CheckAgainstList(list, "FW1A.qrt", other), ChecksumVerdict::Matches);
  other[31] ^= 1;
  EXPECT_EQ(CheckAgainstList(list, "FW1A.qrt", other), ChecksumVerdict::Differs);
  EXPECT_EQ(CheckAgainstList(list, "FW2B.qrt", other), ChecksumVerdict::NotListed);

  // Nothing but blank lines: a list of nothing.
  EXPECT_EQ(Parse(list, "\n\r\n\n"), 1);
  EXPECT_TRUE(list.m_entries.empty());
}

TEST(ChecksumList, AnyOtherLineMakesTheWholeListUnusable) {
  const std::string strGood = kHex + "  FW1A.qrt\n";
  const std::string badLines[] = {
      kHex.substr(0, 63) + "  FW1C.qrt",            // a digest too short
      kHex + "0  FW1C.qrt",                         // too long
      "g" + kHex.substr(1) + "  FW1C.qrt",          // not hex
      kHex + " FW1C.qrt",                           // one space only
      kHex + "\tFW1C.qrt",                          // a tab
      kHex + "  ",                                  // no name
      kHex + " *",                                  // no name after the mark
      kHex,                                         // a digest alone
      " " + kHex + "  FW1C.qrt",                    // indented
      "# " + kHex + "  FW1C.qrt",                   // a comment
      "SHA256 (FW1C.qrt) = " + kHex,                // the BSD form
      " ",                                          // only a space
      kHex + "  FW1C" + std::string(1, '\0') + ".qrt",  // a NUL in the name
      "\\" + kHex + "  a\\tb",                      // an escape sha256sum never writes
      "\\" + kHex + "  a\\",                        // a lone backslash at the end
      kHex.substr(0, 62) + "00  FW1A.qrt",          // the name again with another digest
  };
  for (const std::string& strBad : badLines) {
    ChecksumList list;
    const std::string strList = strGood + "\n" + strBad + "\n" + kHex + "  FW2B.qrt\n";
    EXPECT_EQ(Parse(list, strList), 0) << strBad;
    EXPECT_EQ(list.m_nBadLine, 3) << strBad;
    EXPECT_TRUE(list.m_entries.empty());
    EXPECT_EQ(list.Find("FW1A.qrt"), nullptr);
  }
}

TEST(ChecksumList, ReadsOnlyARegularFileOfBoundedSize) {
  TempDir dir;
  ChecksumList list;
  EXPECT_EQ(ReadChecksumList((dir.m_path / "SHA256SUMS").string(), list), ChecksumListStatus::Absent);
  EXPECT_EQ(ReadChecksumList(dir.Write("good", kHex + "  FW2B.qrt\n"), list), ChecksumListStatus::Read);
  EXPECT_EQ(list.m_entries.size(), 1u);
  EXPECT_EQ(ReadChecksumList(dir.Write("bad", kHex + "  FW2B.qrt\nx\n"), list), ChecksumListStatus::Malformed);
  EXPECT_EQ(list.m_nBadLine, 2);
  // The bound is exact: 1 MiB of blank lines is a list, one byte more is not.
  const std::string strMax(kChecksumListMaxBytes, '\n');
  EXPECT_EQ(ReadChecksumList(dir.Write("max", strMax), list), ChecksumListStatus::Read);
  EXPECT_EQ(ReadChecksumList(dir.Write("over", strMax + "\n"), list), ChecksumListStatus::TooLarge);
  EXPECT_TRUE(list.m_entries.empty());

  std::filesystem::create_directory(dir.m_path / "folder");
  EXPECT_EQ(ReadChecksumList((dir.m_path / "folder").string(), list), ChecksumListStatus::Unreadable);
#ifndef _WIN32
  // A FIFO with no writer: refused at once, never waited on.
  const std::string strFifo = (dir.m_path / "fifo").string();
  ASSERT_EQ(mkfifo(strFifo.c_str(), 0600), 0);
  EXPECT_EQ(ReadChecksumList(strFifo, list), ChecksumListStatus::Unreadable);
#endif
}

namespace {

// Runs a test in a folder of its own, as the program runs in the bundle's.
class InFolder {
 public:
  InFolder() : m_previous(std::filesystem::current_path()) { std::filesystem::current_path(m_dir.m_path); }
  ~InFolder() { std::filesystem::current_path(m_previous); }
  std::string Write(const std::string& strName, const std::string& strData) const {
    m_dir.Write(strName, strData);
    return strName;
  }
  std::string Line(const std::string& strName, const std::string& strData) const {
    platform::Sha256Digest digest{};
    EXPECT_EQ(platform::Sha256Of(strData.data(), strData.size(), digest), 1);
    return platform::Sha256Hex(digest) + "  " + strName + "\n";
  }

 private:
  TempDir m_dir;
  std::filesystem::path m_previous;
};

std::string Pattern(std::size_t nSize, unsigned nSeed) {
  std::string str(nSize, '\0');
  for (std::size_t i = 0; i < nSize; ++i) str[i] = static_cast<char>((i * 31 + nSeed) >> 3);
  return str;
}

constexpr std::size_t kContainer = 128000;

}  // namespace

TEST(BundleRule, AFileIsItsWholeDigestAndAContainerItsExactSize) {
  InFolder dir;
  const std::string strWhole = Pattern(kContainer, 1), strLong = Pattern(kContainer + 1, 2);
  const std::string strReadme = Pattern(200000, 3);  // beyond one hashing piece
  dir.Write("FW2B.qrt", strWhole);
  dir.Write("FW1C.qrt", strLong);
  dir.Write("FW2A.qrt", strLong.substr(0, kContainer - 1));
  dir.Write("README.txt", strReadme);

  // Without a list: only the size counts, and the digest is the file's.
  BundleList none;
  std::vector<std::uint8_t> bytes;
  BundleFileCheck check = CheckBundleFile(none, "FW2B.qrt", kContainer, &bytes);
  EXPECT_EQ(check.verdict, BundleVerdict::Ok);
  EXPECT_FALSE(check.bListed);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), strWhole);
  EXPECT_EQ(platform::Sha256Hex(check.digest), dir.Line("", strWhole).substr(0, 64));
  check = CheckBundleFile(none, "FW1C.qrt", kContainer);
  EXPECT_EQ(check.verdict, BundleVerdict::WrongSize);
  EXPECT_EQ(BundleRefusalReason(none, "FW1C.qrt", kContainer, check),
            "FW1C.qrt holds more than 128000 bytes; a firmware container holds exactly 128000 bytes");
  check = CheckBundleFile(none, "FW2A.qrt", kContainer);
  EXPECT_EQ(BundleRefusalReason(none, "FW2A.qrt", kContainer, check),
            "FW2A.qrt holds only 127999 bytes; a firmware container holds exactly 128000 bytes");
  EXPECT_EQ(CheckBundleFile(none, "FW1E.qrt", kContainer).verdict, BundleVerdict::Missing);

  // With a list written as sha256sum writes it: the whole file's digest, so
  // a long container that is listed is still refused for its size, and a
  // file of any size matches when its size is not asked.
  dir.Write("SHA256SUMS", dir.Line("FW2B.qrt", strWhole) + dir.Line("FW1C.qrt", strLong) +
                              dir.Line("README.txt", strReadme) + dir.Line("FW2A.qrt", strWhole));
  BundleList listed;
  EXPECT_EQ(AcceptBundleList(listed), ChecksumListStatus::Read);
  check = CheckBundleFile(listed, "FW2B.qrt", kContainer);
  EXPECT_EQ(check.verdict, BundleVerdict::Ok);
  EXPECT_TRUE(check.bListed);
  EXPECT_EQ(CheckBundleFile(listed, "FW1C.qrt", kContainer).verdict, BundleVerdict::WrongSize);
  EXPECT_EQ(CheckBundleFile(listed, "FW1C.qrt", 0).verdict, BundleVerdict::Ok);
  EXPECT_EQ(CheckBundleFile(listed, "README.txt", 0).verdict, BundleVerdict::Ok);

  dir.Write("FW2A.qrt", Pattern(kContainer, 9));
  check = CheckBundleFile(listed, "FW2A.qrt", kContainer);
  EXPECT_EQ(check.verdict, BundleVerdict::Differs);
  EXPECT_EQ(BundleRefusalReason(listed, "FW2A.qrt", kContainer, check),
            "the SHA-256 of FW2A.qrt is " + dir.Line("", Pattern(kContainer, 9)).substr(0, 64) +
                ", SHA256SUMS gives " + dir.Line("", strWhole).substr(0, 64));
  dir.Write("FW1A.qrt", strWhole);
  EXPECT_EQ(CheckBundleFile(listed, "FW1A.qrt", kContainer).verdict, BundleVerdict::NotListed);
}

TEST(BundleRule, TheListIsJudgedOnceAndAFilesOwnFaultComesFirst) {
  InFolder dir;
  const std::string strWhole = Pattern(kContainer, 4);
  dir.Write("FW2B.qrt", strWhole);
  dir.Write("SHA256SUMS", dir.Line("FW2B.qrt", strWhole));
  BundleList bundle;
  EXPECT_EQ(CheckBundleFile(bundle, "FW2B.qrt", kContainer).verdict, BundleVerdict::Ok);
  // A list changed during a run does not count: the run keeps the first.
  dir.Write("SHA256SUMS", "not a list\n");
  EXPECT_EQ(CheckBundleFile(bundle, "FW2B.qrt", kContainer).verdict, BundleVerdict::Ok);

  BundleList broken;
  EXPECT_EQ(CheckBundleFile(broken, "FW1E.qrt", kContainer).verdict, BundleVerdict::Missing);
  const BundleFileCheck check = CheckBundleFile(broken, "FW2B.qrt", kContainer);
  EXPECT_EQ(check.verdict, BundleVerdict::ListRefused);
  EXPECT_EQ(BundleRefusalReason(broken, "FW2B.qrt", kContainer, check),
            "SHA256SUMS line 1 is not a sha256sum line ('<64 hex digits>  NAME'), or names a file listed before "
            "with another digest");

  std::filesystem::create_directory("FW1A.qrt");
  EXPECT_EQ(CheckBundleFile(broken, "FW1A.qrt", kContainer).verdict, BundleVerdict::Unreadable);
}
