// Intel HEX import into the firmware image. The record types the standard
// tools write are understood: data (00), end of file (01), extended segment
// address (02), extended linear address (04), and the start addresses (03,
// 05), which are checked and otherwise ignored: a start address means
// nothing to the image. Every record's checksum covers all its bytes. A
// record of any other type ends the import (kHexRecordType).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/ResultCodes.h"
#include "image/FirmwareImage.h"

// Results of an import (the codes the dialog keeps in m_nError), by the names
// of the import.
constexpr int kHexOk = kResultOk;
constexpr int kHexCannotOpen = kErrorHexOpen;
constexpr int kHexChecksumError = kErrorHexChecksum;
// A data record addressed bytes at or beyond the end of the image: the bytes
// inside were stored, the others dropped.
constexpr int kHexOutsideImage = kErrorHexBeyondImage;
// Not one data record in the whole file (empty, binary, UTF-16, ...): there
// is no firmware in it, and an all-zero image must never become a container.
constexpr int kHexNoData = kErrorHexNoData;
// A record of a type the import does not read (06 and above), with a right
// checksum: the file is in a format the image cannot be built from.
constexpr int kHexRecordType = kErrorHexRecordType;

// What an import found besides its result, for messages that say where.
struct HexImportDetails {
  int nRecordTypeLine = 0;            // line of the record that ended it with kHexRecordType (1-based)
  int nRecordType = -1;               // and that record's type
  std::int32_t nHighestAddress = -1;  // highest image byte a data record stored, -1 for none
  int nChecksumLine = 0;              // first line whose record failed its checksum (1-based), 0 for none
  int nBeyondLine = 0;                // first line whose data record reached beyond the image, 0 for none
  std::int64_t nBeyondAddress = -1;   // and the first address of it beyond the image
};

// Decodes record lines one at a time into an image, keeping the address base
// between lines. Bytes are stored only inside the image.
class HexDecoder {
 public:
  explicit HexDecoder(FirmwareImage& image) : m_rImage(image) {}

  // One line, its terminator removed. Lines not starting with ':' are
  // skipped. Only the characters of the line are read; a field that is
  // short or holds a non-hex character fails the record's checksum.
  void DecodeLine(std::string_view strTemp);

  // kHexRecordType (it ended the import, so it wins), else kHexOk,
  // kHexChecksumError, kHexNoData or kHexOutsideImage (a checksum error
  // wins: it also explains a wild address or a lost record).
  int Result() const;
  const HexImportDetails& Details() const { return m_details; }

 private:
  void ChecksumFailed();  // notes the first line that failed
  FirmwareImage& m_rImage;
  std::uint32_t m_iAddressOffset = 0;
  bool m_bChecksumError = false;
  bool m_bOutsideImage = false;
  bool m_bAnyData = false;  // a data record with at least one byte was read
  int m_nLine = 0;          // lines seen, each counted whatever it holds
  bool m_bEnded = false;    // a record of an unknown type was met: later lines are not read
  HexImportDetails m_details;
};

// Splits text into lines for a HexDecoder, fed in chunks of any size. A line
// ends at LF, CR LF or a lone CR. A UTF-8 byte-order mark at the very start
// is dropped, so that the first record counts. Only the first kMaxLine characters of a
// line are kept: a record never needs more, and characters after its
// checksum are ignored anyway, so a huge line cannot exhaust memory.
class HexLineSplitter {
 public:
  static constexpr std::size_t kMaxLine = 600;

  explicit HexLineSplitter(HexDecoder& decoder) : m_rDecoder(decoder) {}
  void Feed(const char* pData, std::size_t nSize);
  void Finish();  // delivers a last line that has no terminator

 private:
  void EndLine();
  void Take(char ch);
  HexDecoder& m_rDecoder;
  int m_nBomBytes = 0;        // bytes of a byte-order mark matched so far
  bool m_bAtStart = true;     // still at the start of the text
  std::string m_strLine;
  bool m_bHaveLine = false;
  bool m_bAfterCr = false;
};

// Clears the image and decodes the whole text into it. Returns kHexOk,
// kHexChecksumError, kHexNoData, kHexOutsideImage or kHexRecordType; fills
// *pDetails when given.
int DecodeHexText(std::string_view strText, FirmwareImage& image, HexImportDetails* pDetails = nullptr);

// Clears the image and imports the named file (a regular file only).
// Returns kHexOk, kHexCannotOpen, kHexChecksumError, kHexNoData,
// kHexOutsideImage or kHexRecordType; fills *pDetails when given.
int ReadHexFile(const std::string& strFileName, FirmwareImage& image, HexImportDetails* pDetails = nullptr);
