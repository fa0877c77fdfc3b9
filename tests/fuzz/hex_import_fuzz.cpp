// Fuzzes the Intel HEX import with arbitrary file contents. The image is a
// heap object of its own, so AddressSanitizer reports any byte written or
// read outside it. Each input is also decoded a second time fed in small
// chunks: line splitting must not depend on how the file is read.
//
// Each input also drives a writer of well-formed HEX text: random bytes at
// random places, in records of random lengths, reached through segment (02)
// and linear (04) base records, with start address records (03, 05) among
// them. That text must decode to exactly the bytes written, so a wrong
// decode (a base taken wrongly, a record misread) is caught, not only a
// crash.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "image/HexImport.h"

namespace {

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

void AppendRecord(std::string& strText, std::uint32_t nAddress, std::uint32_t nType, const std::uint8_t* pData,
                  std::uint32_t nCount, bool bCrLf) {
  char sz[16];
  std::uint32_t nSum = nCount + (nAddress >> 8) + (nAddress & 0xFF) + nType;
  std::snprintf(sz, sizeof sz, ":%02X%04X%02X", nCount, nAddress, nType);
  strText += sz;
  for (std::uint32_t i = 0; i < nCount; ++i) {
    std::snprintf(sz, sizeof sz, "%02X", pData[i]);
    strText += sz;
    nSum += pData[i];
  }
  std::snprintf(sz, sizeof sz, "%02X", (0x100 - (nSum & 0xFF)) & 0xFF);
  strText += sz;
  strText += bCrLf ? "\r\n" : "\n";
}

void RoundTrip(const std::uint8_t* pData, std::size_t nSize) {
  Source src(pData, nSize);
  auto expected = std::make_unique<FirmwareImage>();
  expected->Clear();
  std::string strText;
  const bool bCrLf = src.Byte() & 1;
  bool bAnyData = false;
  for (int nRecords = 0; src.Left() && nRecords < 64; ++nRecords) {
    // Where the bytes go, and how many (one record of up to 255).
    const std::uint32_t nAt = src.Below(kImageSize);
    std::uint32_t nCount = 1 + src.Below(255);
    if (nCount > kImageSize - nAt) nCount = kImageSize - nAt;
    // The base that reaches it: a linear (04) or a segment (02) one.
    std::uint32_t nBase = 0;
    std::uint8_t base[2];
    if (src.Byte() & 1) {
      nBase = nAt & 0xFFFF0000u;
      base[0] = static_cast<std::uint8_t>(nBase >> 24);
      base[1] = static_cast<std::uint8_t>(nBase >> 16);
      AppendRecord(strText, 0, 0x04, base, 2, bCrLf);
    } else {
      std::uint32_t nSegment = nAt >> 4;
      const std::uint32_t nBack = src.Below(0x0FFF);  // keeps the offset below 64 KiB
      nSegment = nSegment > nBack ? nSegment - nBack : 0;
      nBase = nSegment * 16;
      base[0] = static_cast<std::uint8_t>(nSegment >> 8);
      base[1] = static_cast<std::uint8_t>(nSegment);
      AppendRecord(strText, 0, 0x02, base, 2, bCrLf);
    }
    const std::uint32_t nOffset = nAt - nBase;
    if (nCount > 0x10000 - nOffset) nCount = 0x10000 - nOffset;  // a record stays inside its 64 KiB
    std::uint8_t bytes[255];
    for (std::uint32_t i = 0; i < nCount; ++i) {
      bytes[i] = static_cast<std::uint8_t>(src.Byte());
      expected->m_image[nAt + i] = bytes[i];  // a later record wins
    }
    AppendRecord(strText, nOffset, 0x00, bytes, nCount, bCrLf);
    bAnyData = true;
    // Now and then a start address, which changes nothing.
    if (const std::uint32_t n = src.Byte() % 4; n == 1 || n == 2) {
      std::uint8_t start[4] = {static_cast<std::uint8_t>(src.Byte()), static_cast<std::uint8_t>(src.Byte()),
                               static_cast<std::uint8_t>(src.Byte()), static_cast<std::uint8_t>(src.Byte())};
      AppendRecord(strText, 0, n == 1 ? 0x03 : 0x05, start, 4, bCrLf);
    }
  }
  AppendRecord(strText, 0, 0x01, nullptr, 0, bCrLf);

  auto image = std::make_unique<FirmwareImage>();
  image->m_image.fill(0xA5);
  const int nResult = DecodeHexText(strText, *image);
  if (nResult != (bAnyData ? kHexOk : kHexNoData) || image->m_image != expected->m_image) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize) {
  const std::string_view strText(reinterpret_cast<const char*>(pData), nSize);
  auto image = std::make_unique<FirmwareImage>();
  image->m_image.fill(0xA5);
  const int nResult = DecodeHexText(strText, *image);
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

  RoundTrip(pData, nSize);
  return 0;
}
