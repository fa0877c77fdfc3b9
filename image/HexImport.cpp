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
  ++m_nLine;
  if (m_bEnded) return;
  if (strTemp.empty() || strTemp[0] != ':') return;
  std::string_view strRest = strTemp.substr(1);

  std::uint32_t iByteCount = 0;
  std::uint32_t iAddress = 0;
  std::uint32_t iType = 0;
  std::uint32_t iTmp = 0;
  // A malformed field leaves the rest of the record unread: its checksum
  // cannot be trusted, and the import reports it as a checksum error.
  if (!TakeField(strRest, 2, iByteCount) || !TakeField(strRest, 4, iAddress) || !TakeField(strRest, 2, iType)) {
    ChecksumFailed();
    return;
  }
  std::uint8_t nSum = static_cast<std::uint8_t>(iByteCount + (iAddress & 0xFF) + (iAddress >> 8) + iType);

  if (iType == 0x00) {
    if (iByteCount > 0) m_bAnyData = true;
    // 64 bits: a linear base near 4 GiB must not wrap round into the image.
    const std::uint64_t iStart = std::uint64_t{m_iAddressOffset} + iAddress;
    for (std::uint32_t i = 0; i < iByteCount; ++i) {
      if (!TakeField(strRest, 2, iTmp)) {
        ChecksumFailed();
        return;
      }
      const std::uint64_t a = iStart + i;
      if (a < static_cast<std::uint64_t>(kImageSize)) {
        m_rImage.m_image[a] = static_cast<std::uint8_t>(iTmp);
        if (static_cast<std::int32_t>(a) > m_details.nHighestAddress) m_details.nHighestAddress = static_cast<std::int32_t>(a);
      } else {
        if (!m_bOutsideImage) {
          m_details.nBeyondLine = m_nLine;
          m_details.nBeyondAddress = static_cast<std::int64_t>(a);
        }
        m_bOutsideImage = true;
      }
      nSum = static_cast<std::uint8_t>(nSum + iTmp);
    }
    if (!TakeField(strRest, 2, iTmp) || static_cast<std::uint8_t>(nSum + iTmp) != 0) ChecksumFailed();
    return;
  }

  // Every other record: all its bytes are summed, and a base address (02,
  // 04) is taken from its two. A base record of another length is
  // malformed and fails like a record whose checksum is wrong.
  std::uint32_t iValue = 0;
  for (std::uint32_t i = 0; i < iByteCount; ++i) {
    if (!TakeField(strRest, 2, iTmp)) {
      ChecksumFailed();
      return;
    }
    if (i < 2) iValue = iValue * 256 + iTmp;
    nSum = static_cast<std::uint8_t>(nSum + iTmp);
  }
  // A linear base replaces any segment base, and a later segment base
  // replaces it. The base is taken before its checksum is checked, as the
  // program has always taken a segment base: a file with a failed record
  // ends with code 9 anyway, and the data around it lands where it did.
  const bool bBase = iType == 0x02 || iType == 0x04;
  if (bBase && iByteCount == 2) m_iAddressOffset = iType == 0x04 ? iValue * 65536 : iValue * 16;
  if (!TakeField(strRest, 2, iTmp) || static_cast<std::uint8_t>(nSum + iTmp) != 0) {
    // A record that fails its checksum may have a damaged type as well: it
    // counts as a checksum error, whatever its type says.
    ChecksumFailed();
    return;
  }
  if (bBase && iByteCount != 2) {
    ChecksumFailed();
  } else if (iType > 0x05) {
    m_details.nRecordTypeLine = m_nLine;
    m_details.nRecordType = static_cast<int>(iType);
    m_bEnded = true;
  }
  // 01 (end of file) ends nothing: later records are still read. 03 and 05
  // (start addresses) are checked and ignored.
}

void HexDecoder::ChecksumFailed() {
  if (!m_bChecksumError) m_details.nChecksumLine = m_nLine;
  m_bChecksumError = true;
}

int HexDecoder::Result() const {
  if (m_bEnded) return kHexRecordType;
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

int DecodeHexText(std::string_view strText, FirmwareImage& image, HexImportDetails* pDetails) {
  image.Clear();
  HexDecoder decoder(image);
  HexLineSplitter splitter(decoder);
  splitter.Feed(strText.data(), strText.size());
  splitter.Finish();
  if (pDetails) *pDetails = decoder.Details();
  return decoder.Result();
}

int ReadHexFile(const std::string& strFileName, FirmwareImage& image, HexImportDetails* pDetails) {
  image.Clear();
  if (pDetails) *pDetails = HexImportDetails{};
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
  if (pDetails) *pDetails = decoder.Details();
  return decoder.Result();
}
