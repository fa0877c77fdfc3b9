// Fuzzes the Intel HEX import with arbitrary file contents. The image is a
// heap object of its own, so AddressSanitizer reports any byte written or
// read outside it. Each input is decoded three ways that must agree in
// result, image and details: the import at once, the import fed in small
// chunks (line splitting must not depend on how the file is read), and a
// reference decoder written here on its own lines (text split into lines
// first, each line turned into bytes first, then read), so that a wrong
// decode of any file, not only a crash, aborts the run.
//
// Each input also drives a writer of HEX text shaped as objcopy and srec_cat
// write it: runs of data in records of one length per file (up to 255
// bytes), a linear (04) or segment (02) base written only when a record
// leaves the 64 KiB the current base reaches, so that one base serves many
// data records; upper- or lower-case digits; CR LF or LF line ends; start
// address records now and then, the end-of-file record last. Both decoders
// must give back exactly the bytes written.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "image/HexImport.h"

namespace {

// ---- the reference decoder ---------------------------------------------------

struct Reference {
  int nResult = kHexOk;
  HexImportDetails details;
};

int Nibble(char c) {
  static const std::string_view kDigits = "0123456789abcdef";
  const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  const std::size_t n = kDigits.find(lower);
  return n == std::string_view::npos ? -1 : static_cast<int>(n);
}

// The text's lines: a UTF-8 byte-order mark at the very start dropped; a line
// ends at LF, CR LF or a lone CR; each kept to its first 600 characters.
std::vector<std::string_view> SplitLines(std::string_view strText) {
  if (strText.substr(0, 3) == "\xEF\xBB\xBF") strText.remove_prefix(3);
  std::vector<std::string_view> lines;
  std::size_t nStart = 0;
  while (nStart < strText.size()) {
    const std::size_t nEnd = strText.find_first_of("\r\n", nStart);
    if (nEnd == std::string_view::npos) {
      lines.push_back(strText.substr(nStart, HexLineSplitter::kMaxLine));
      break;
    }
    lines.push_back(strText.substr(nStart, std::min(nEnd - nStart, HexLineSplitter::kMaxLine)));
    nStart = nEnd + 1;
    if (strText[nEnd] == '\r' && nStart < strText.size() && strText[nStart] == '\n') ++nStart;
  }
  return lines;
}

// Decodes the text into image as the import must: every record's bytes,
// its checksum over all of them, a base from 02 and 04 records of two
// bytes (taken even before their checksum is checked), data stored only
// inside the image, and a record of type 06 or above ending the file.
Reference ReferenceDecode(std::string_view strText, FirmwareImage& image) {
  image.Clear();
  Reference ref;
  bool bEnded = false, bBadSum = false, bData = false, bOutside = false;
  std::uint64_t nBase = 0;
  int nLine = 0;
  std::vector<unsigned> bytes;
  for (const std::string_view strLine : SplitLines(strText)) {
    ++nLine;
    if (bEnded || strLine.empty() || strLine[0] != ':') continue;
    // The whole pairs of hex digits after the colon, up to the first that is not one.
    bytes.clear();
    for (std::size_t i = 1; i + 1 < strLine.size(); i += 2) {
      const int hi = Nibble(strLine[i]), lo = Nibble(strLine[i + 1]);
      if (hi < 0 || lo < 0) break;
      bytes.push_back(static_cast<unsigned>(hi * 16 + lo));
    }
    if (bytes.size() < 4) {
      bBadSum = true;
      continue;
    }
    const unsigned nCount = bytes[0], nType = bytes[3];
    const std::uint64_t nOffset = bytes[1] * 256u + bytes[2];
    const std::size_t nHave = bytes.size() - 4;  // bytes after the header, the checksum's included
    const std::size_t nPayload = nHave < nCount ? nHave : nCount;
    if (nType == 0) {
      bData = bData || nCount > 0;
      for (std::size_t i = 0; i < nPayload; ++i) {
        const std::uint64_t a = nBase + nOffset + i;
        if (a >= static_cast<std::uint64_t>(kImageSize)) {
          bOutside = true;
          continue;
        }
        image.m_image[a] = static_cast<std::uint8_t>(bytes[4 + i]);
        ref.details.nHighestAddress = std::max(ref.details.nHighestAddress, static_cast<std::int32_t>(a));
      }
    } else if (nPayload == nCount && nCount == 2 && (nType == 2 || nType == 4)) {
      nBase = (bytes[4] * 256u + bytes[5]) * std::uint64_t{nType == 4 ? 65536u : 16u};
    }
    unsigned nSum = 0;
    for (std::size_t i = 0; i < 5 + nPayload && i < bytes.size(); ++i) nSum += bytes[i];
    if (nHave < nCount + 1u || (nSum & 0xFF) != 0) {
      bBadSum = true;
    } else if ((nType == 2 || nType == 4) && nCount != 2) {
      bBadSum = true;
    } else if (nType > 5) {
      bEnded = true;
      ref.details.nRecordTypeLine = nLine;
      ref.details.nRecordType = static_cast<int>(nType);
    }
  }
  ref.nResult = bEnded ? kHexRecordType : bBadSum ? kHexChecksumError : !bData ? kHexNoData
                                                  : bOutside            ? kHexOutsideImage
                                                                        : kHexOk;
  return ref;
}

// ---- the writer of well-formed files ---------------------------------------------

// The fuzzer's input as a source of numbers; zeros once it is used up.
class Source {
 public:
  Source(const std::uint8_t* pData, std::size_t nSize) : m_pData(pData), m_nSize(nSize) {}
  std::uint32_t Byte() { return m_nPos < m_nSize ? m_pData[m_nPos++] : 0u; }
  std::uint32_t Below(std::uint32_t n) {  // 0 to n-1
    const std::uint32_t v = Byte() << 16 | Byte() << 8 | Byte();
    return n ? v % n : 0;
  }
  bool Left() const { return m_nPos < m_nSize; }

 private:
  const std::uint8_t* m_pData;
  std::size_t m_nSize;
  std::size_t m_nPos = 0;
};

struct FileShape {
  bool bLower = false;   // digits a-f in lower case
  bool bCrLf = true;
  bool bSegment = false; // bases as 02 records (srec_cat's choice), else 04 (objcopy's)
  std::uint32_t nRecord = 16;  // data bytes per record
};

void AppendRecord(std::string& strText, const FileShape& shape, std::uint32_t nAddress, std::uint32_t nType,
                  const std::uint8_t* pData, std::uint32_t nCount) {
  const char* pszHex = shape.bLower ? "0123456789abcdef" : "0123456789ABCDEF";
  std::vector<std::uint32_t> bytes = {nCount, nAddress >> 8 & 0xFF, nAddress & 0xFF, nType};
  bytes.insert(bytes.end(), pData, pData + nCount);
  std::uint32_t nSum = 0;
  for (std::uint32_t b : bytes) nSum += b;
  bytes.push_back((0x100 - (nSum & 0xFF)) & 0xFF);
  strText += ':';
  for (std::uint32_t b : bytes) {
    strText += pszHex[b >> 4];
    strText += pszHex[b & 0x0F];
  }
  strText += shape.bCrLf ? "\r\n" : "\n";
}

// Writes one run of bytes at nAt, in records of the file's length, with a
// base record wherever the base in force does not reach the next record.
void AppendRun(std::string& strText, const FileShape& shape, std::uint32_t nAt, const std::vector<std::uint8_t>& run,
               std::int64_t& nBase, Source& src) {
  std::size_t nDone = 0;
  while (nDone < run.size()) {
    const std::uint32_t nAddress = nAt + static_cast<std::uint32_t>(nDone);
    if (nBase < 0 || nAddress < nBase || nAddress - nBase > 0xFFFF) {
      std::uint8_t base[2];
      if (shape.bSegment) {
        // Mostly a segment on a 64 KiB boundary, as srec_cat writes it; now
        // and then one further back, which still reaches the address.
        std::uint32_t nSegment = (nAddress >> 4) & ~0xFFFu;
        if (src.Byte() & 1) {
          const std::uint32_t nBack = src.Below(0x1000);  // keeps the offset below 64 KiB
          nSegment = (nAddress >> 4) > nBack ? (nAddress >> 4) - nBack : 0;
        }
        nBase = nSegment * 16;
        base[0] = static_cast<std::uint8_t>(nSegment >> 8);
        base[1] = static_cast<std::uint8_t>(nSegment);
        AppendRecord(strText, shape, 0, 0x02, base, 2);
      } else {
        nBase = nAddress & 0xFFFF0000u;
        base[0] = static_cast<std::uint8_t>(nBase >> 24);
        base[1] = static_cast<std::uint8_t>(nBase >> 16);
        AppendRecord(strText, shape, 0, 0x04, base, 2);
      }
    }
    const std::uint32_t nOffset = nAddress - static_cast<std::uint32_t>(nBase);
    std::size_t nCount = std::min<std::size_t>(shape.nRecord, run.size() - nDone);
    nCount = std::min<std::size_t>(nCount, 0x10000 - nOffset);  // a record stays inside its 64 KiB
    AppendRecord(strText, shape, nOffset, 0x00, run.data() + nDone, static_cast<std::uint32_t>(nCount));
    nDone += nCount;
  }
}

void RoundTrip(const std::uint8_t* pData, std::size_t nSize) {
  Source src(pData, nSize);
  auto expected = std::make_unique<FirmwareImage>();
  expected->Clear();
  FileShape shape;
  const std::uint32_t nFlags = src.Byte();
  shape.bLower = nFlags & 1;
  shape.bCrLf = nFlags & 2;
  shape.bSegment = nFlags & 4;
  constexpr std::uint32_t kLengths[] = {16, 32, 255, 0};
  shape.nRecord = kLengths[nFlags >> 3 & 3];
  if (shape.nRecord == 0) shape.nRecord = 1 + src.Below(255);

  std::string strText;
  std::int64_t nBase = -1;  // no base record yet: the first record writes one
  bool bAnyData = false;
  std::uint32_t nEnd = kImageSize;  // where the previous run ended; none yet
  for (int nRuns = 0; src.Left() && nRuns < 8; ++nRuns) {
    // A run of bytes somewhere in the image, made from a seed so that a few
    // input bytes describe a long run; mostly soon after the previous one,
    // as the sections of a program follow each other.
    std::uint32_t nAt = src.Below(kImageSize);
    if (nEnd < kImageSize && (src.Byte() & 3) != 0) nAt = std::min<std::uint32_t>(nEnd + src.Below(64), kImageSize - 1);
    const std::uint32_t nLength = 1 + src.Below(kImageSize - nAt < 768 ? kImageSize - nAt : 768);
    std::uint32_t nState = src.Byte() << 8 | src.Byte() | 1u;
    std::vector<std::uint8_t> run(nLength);
    for (std::uint8_t& b : run) {
      nState ^= nState << 13;
      nState ^= nState >> 17;
      nState ^= nState << 5;
      b = static_cast<std::uint8_t>(nState >> 11);
    }
    for (std::uint32_t i = 0; i < nLength; ++i) expected->m_image[nAt + i] = run[i];  // a later run wins
    AppendRun(strText, shape, nAt, run, nBase, src);
    nEnd = nAt + nLength;
    bAnyData = true;
    // Now and then a start address, which changes nothing.
    if (const std::uint32_t n = src.Byte() % 4; n == 1 || n == 2) {
      std::uint8_t start[4] = {static_cast<std::uint8_t>(src.Byte()), static_cast<std::uint8_t>(src.Byte()),
                               static_cast<std::uint8_t>(src.Byte()), static_cast<std::uint8_t>(src.Byte())};
      AppendRecord(strText, shape, 0, n == 1 ? 0x03 : 0x05, start, 4);
    }
  }
  AppendRecord(strText, shape, 0, 0x01, nullptr, 0);

  auto image = std::make_unique<FirmwareImage>();
  const int nResult = DecodeHexText(strText, *image);
  if (nResult != (bAnyData ? kHexOk : kHexNoData) || image->m_image != expected->m_image) std::abort();
  const Reference ref = ReferenceDecode(strText, *image);
  if (ref.nResult != nResult || image->m_image != expected->m_image) std::abort();
}

bool SameDetails(const HexImportDetails& a, const HexImportDetails& b) {
  return a.nRecordTypeLine == b.nRecordTypeLine && a.nRecordType == b.nRecordType &&
         a.nHighestAddress == b.nHighestAddress;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize) {
  const std::string_view strText(reinterpret_cast<const char*>(pData), nSize);
  auto image = std::make_unique<FirmwareImage>();
  image->m_image.fill(0xA5);
  HexImportDetails details;
  const int nResult = DecodeHexText(strText, *image, &details);
  if (nResult != kHexOk && nResult != kHexChecksumError && nResult != kHexOutsideImage && nResult != kHexNoData &&
      nResult != kHexRecordType)
    std::abort();

  auto chunked = std::make_unique<FirmwareImage>();
  HexDecoder decoder(*chunked);
  HexLineSplitter splitter(decoder);
  const std::size_t nChunk = nSize % 7 + 1;
  for (std::size_t i = 0; i < nSize; i += nChunk) {
    splitter.Feed(strText.data() + i, nSize - i < nChunk ? nSize - i : nChunk);
  }
  splitter.Finish();
  if (decoder.Result() != nResult || chunked->m_image != image->m_image) std::abort();

  auto reference = std::make_unique<FirmwareImage>();
  const Reference ref = ReferenceDecode(strText, *reference);
  if (ref.nResult != nResult || reference->m_image != image->m_image || !SameDetails(ref.details, details))
    std::abort();

  RoundTrip(pData, nSize);
  return 0;
}
