#include "image/HexImport.h"

#include <cstdio>
#include <memory>

#include "platform/file.h"

namespace {

int HexDigit(char ch) {
  if (ch >= '0' && ch <= '9') return ch - '0';
  if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
  if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
  return -1;
}

// Takes the next nChars characters (fewer if the line ends sooner) from the
// front of strRest and reads them as a hexadecimal number. False when the
// field was short or held a character other than a hex digit.
bool TakeField(std::string_view& strRest, std::size_t nChars, std::uint32_t& nValue) {
  const std::size_t nTake = nChars < strRest.size() ? nChars : strRest.size();
  bool bOk = nTake == nChars;
  nValue = 0;
  for (std::size_t i = 0; i < nTake; ++i) {
    const int d = HexDigit(strRest[i]);
    if (d < 0) {
      bOk = false;
    } else {
      nValue = nValue * 16 + static_cast<std::uint32_t>(d);
    }
  }
  strRest.remove_prefix(nTake);
  return bOk;
}

}  // namespace

void HexDecoder::DecodeLine(std::string_view strTemp) {
  if (strTemp.empty() || strTemp[0] != ':') return;
  std::string_view strRest = strTemp.substr(1);

  std::uint32_t iByteCount = 0;
  std::uint32_t iAddress = 0;
  std::uint32_t iType = 0;
  std::uint32_t iTmp = 0;
  // A malformed field leaves the rest of the record unread: its checksum
  // cannot be trusted, and the import reports it as a checksum error.
  if (!TakeField(strRest, 2, iByteCount) || !TakeField(strRest, 4, iAddress) || !TakeField(strRest, 2, iType)) {
    m_bChecksumError = true;
    return;
  }
  std::uint8_t nSum = static_cast<std::uint8_t>(iByteCount + (iAddress & 0xFF) + (iAddress >> 8) + iType);

  if (iType == 0x00) {
    if (iByteCount > 0) m_bAnyData = true;
    const std::uint32_t iStart = m_iAddressOffset + iAddress;
    for (std::uint32_t i = 0; i < iByteCount; ++i) {
      if (!TakeField(strRest, 2, iTmp)) {
        m_bChecksumError = true;
        return;
      }
      const std::uint32_t a = iStart + i;
      if (a < static_cast<std::uint32_t>(kImageSize)) {
        m_rImage.m_image[a] = static_cast<std::uint8_t>(iTmp);
      } else {
        m_bOutsideImage = true;
      }
      nSum = static_cast<std::uint8_t>(nSum + iTmp);
    }
  } else if (iType == 0x02) {
    if (!TakeField(strRest, 4, iTmp)) {
      m_bChecksumError = true;
      return;
    }
    nSum = static_cast<std::uint8_t>(nSum + (iTmp & 0xFF) + (iTmp >> 8));
    m_iAddressOffset = iTmp * 16;
  }
  // Other types (01 end of file, 04, ...) carry nothing this image uses; the
  // two characters after their type are taken as their checksum.

  if (!TakeField(strRest, 2, iTmp) || static_cast<std::uint8_t>(nSum + iTmp) != 0) {
    m_bChecksumError = true;
  }
}

int HexDecoder::Result() const {
  if (m_bChecksumError) return kHexChecksumError;
  if (!m_bAnyData) return kHexNoData;
  if (m_bOutsideImage) return kHexOutsideImage;
  return kHexOk;
}

namespace {
constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";
}

void HexLineSplitter::Feed(const char* pData, std::size_t nSize) {
  for (std::size_t i = 0; i < nSize; ++i) {
    const char ch = pData[i];
    if (m_bAtStart) {
      if (ch == kUtf8Bom[m_nBomBytes]) {
        if (++m_nBomBytes == 3) m_bAtStart = false;
        continue;
      }
      // No mark after all: what was held back is text.
      m_bAtStart = false;
      for (int k = 0; k < m_nBomBytes; ++k) Take(kUtf8Bom[k]);
    }
    Take(ch);
  }
}

void HexLineSplitter::Take(char ch) {
  if (ch == '\n') {
    if (!m_bAfterCr) EndLine();
    m_bAfterCr = false;
  } else if (ch == '\r') {
    EndLine();
    m_bAfterCr = true;
  } else {
    m_bAfterCr = false;
    m_bHaveLine = true;
    if (m_strLine.size() < kMaxLine) m_strLine.push_back(ch);
  }
}

void HexLineSplitter::Finish() {
  if (m_bAtStart) {
    m_bAtStart = false;
    for (int k = 0; k < m_nBomBytes; ++k) Take(kUtf8Bom[k]);
  }
  if (m_bHaveLine) EndLine();
  m_bAfterCr = false;
}

void HexLineSplitter::EndLine() {
  m_rDecoder.DecodeLine(m_strLine);
  m_strLine.clear();
  m_bHaveLine = false;
}

int DecodeHexText(std::string_view strText, FirmwareImage& image) {
  image.Clear();
  HexDecoder decoder(image);
  HexLineSplitter splitter(decoder);
  splitter.Feed(strText.data(), strText.size());
  splitter.Finish();
  return decoder.Result();
}

int ReadHexFile(const std::string& strFileName, FirmwareImage& image) {
  image.Clear();
  // Binary mode: line ends are handled by the splitter alike on every system.
  // Only a regular file: a FIFO or device of that name is refused at once.
  platform::UniqueFile Datei(platform::OpenRegularFileForReading(strFileName));
  if (!Datei) return kHexCannotOpen;
  HexDecoder decoder(image);
  HexLineSplitter splitter(decoder);
  char buf[16384];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, Datei.get())) > 0) {
    splitter.Feed(buf, n);
  }
  // A read error part-way would leave records unread: report it as an
  // unreadable file rather than as a complete import.
  if (std::ferror(Datei.get())) return kHexCannotOpen;
  splitter.Finish();
  return decoder.Result();
}
