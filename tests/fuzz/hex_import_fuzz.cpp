// Fuzzes the Intel HEX import with arbitrary file contents. The image is a
// heap object of its own, so AddressSanitizer reports any byte written or
// read outside it. Each input is also decoded a second time fed in small
// chunks: line splitting must not depend on how the file is read.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>

#include "image/HexImport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize) {
  const std::string_view strText(reinterpret_cast<const char*>(pData), nSize);
  auto image = std::make_unique<FirmwareImage>();
  image->m_image.fill(0xA5);
  const int nResult = DecodeHexText(strText, *image);
  if (nResult != kHexOk && nResult != kHexChecksumError && nResult != kHexOutsideImage && nResult != kHexNoData)
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
  return 0;
}
