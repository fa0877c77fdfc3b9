#include "common/TerminalText.h"

#include <cstdint>

std::string TerminalText(const std::string& str) {
  std::string strOut;
  const auto* p = reinterpret_cast<const unsigned char*>(str.data());
  const std::size_t n = str.size();
  for (std::size_t i = 0; i < n;) {
    const unsigned c = p[i];
    if (c < 0x80) {
      strOut += (c < 0x20 || c == 0x7F) ? '?' : static_cast<char>(c);
      ++i;
      continue;
    }
    std::size_t nLen = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c <= 0xDF ? 2 : 0;
    if (c > 0xF4) nLen = 0;
    bool bValid = nLen > 0 && i + nLen <= n;
    std::uint32_t cp = nLen == 2 ? (c & 0x1F) : nLen == 3 ? (c & 0x0F) : (c & 0x07);
    for (std::size_t k = 1; bValid && k < nLen; ++k) {
      if ((p[i + k] & 0xC0) != 0x80) bValid = false;
      cp = cp << 6 | (p[i + k] & 0x3F);
    }
    // Overlong forms, surrogates and code points beyond U+10FFFF are no
    // valid UTF-8 either.
    if (bValid && ((nLen == 3 && cp < 0x800) || (nLen == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
                   (cp >= 0xD800 && cp <= 0xDFFF)))
      bValid = false;
    if (!bValid) {
      strOut += '?';
      ++i;
    } else if (cp <= 0x9F) {  // a C1 control: one mark for the whole character
      strOut += '?';
      i += nLen;
    } else {
      strOut.append(str, i, nLen);
      i += nLen;
    }
  }
  return strOut;
}

std::string TerminalLines(const std::string& str) {
  std::string strOut;
  std::size_t nStart = 0;
  for (std::size_t nEnd; (nEnd = str.find('\n', nStart)) != std::string::npos; nStart = nEnd + 1)
    strOut += TerminalText(str.substr(nStart, nEnd - nStart)) + '\n';
  return strOut + TerminalText(str.substr(nStart));
}
