// Intel HEX import into the firmware image. Data records (type 00) and
// extended segment address records (type 02) are understood; every record's
// checksum is checked; other record types are consumed without meaning, so
// that only their first data byte is taken as their checksum. That handling
// of the other types is kept on purpose, as the program has always read
// them; a change to it is a change of behaviour, made knowingly.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "image/FirmwareImage.h"
#include "update/ResultCodes.h"

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

// Decodes record lines one at a time into an image, keeping the segment base
// between lines. Bytes are stored only inside the image.
class HexDecoder {
 public:
  explicit HexDecoder(FirmwareImage& image) : m_rImage(image) {}

  // One line, its terminator removed. Lines not starting with ':' are
  // skipped. Only the characters of the line are read; a field that is
  // short or holds a non-hex character fails the record's checksum.
  void DecodeLine(std::string_view strTemp);

  // kHexOk, kHexChecksumError, kHexNoData or kHexOutsideImage (a checksum
  // error wins: it also explains a wild address or a lost record).
  int Result() const;

 private:
  FirmwareImage& m_rImage;
  std::uint32_t m_iAddressOffset = 0;
  bool m_bChecksumError = false;
  bool m_bOutsideImage = false;
  bool m_bAnyData = false;  // a data record with at least one byte was read
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
// kHexChecksumError, kHexNoData or kHexOutsideImage.
int DecodeHexText(std::string_view strText, FirmwareImage& image);

// Clears the image and imports the named file (a regular file only).
// Returns kHexOk, kHexCannotOpen, kHexChecksumError, kHexNoData or
// kHexOutsideImage.
int ReadHexFile(const std::string& strFileName, FirmwareImage& image);
