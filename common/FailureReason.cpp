#include "common/FailureReason.h"

#include <cstdio>

#include "common/ResultCodes.h"
#include "common/TerminalText.h"

namespace {

// The firmware image's size, as the HEX import knows it (image/FirmwareImage.h).
constexpr unsigned kImageBytes = 128000;

std::string Hex(unsigned long long n, int nDigits = 1) {
  char sz[24];
  std::snprintf(sz, sizeof sz, "%0*llX", nDigits, n);
  return sz;
}

std::string Where(const FailureFacts& f) {
  if (f.strController.empty()) return "";
  std::string s = "at controller " + f.strController;
  if (f.nPage > 0) s += ", page " + std::to_string(f.nPage) + " of " + std::to_string(f.nPages);
  if (!f.strContainer.empty()) s += ", file " + f.strContainer;
  return s;
}

std::string HexFacts(const FailureFacts& f) {
  if (f.strHexFile.empty()) return "";
  std::string s = TerminalText(f.strHexFile);
  if (f.nHexLine > 0) s += " line " + std::to_string(f.nHexLine);
  switch (f.nCode) {
    case kErrorHexOpen:
      return s + (f.strSystemText.empty() ? ": cannot be opened" : ": " + f.strSystemText);
    case kErrorHexChecksum:
      return s + ": the record fails its checksum (or holds a character that is not a hex digit)";
    case kErrorHexBeyondImage:
      return s + ": a data record at address 0x" + Hex(static_cast<unsigned long long>(f.nHexAddress)) +
             " reaches beyond the firmware image (0x0 to 0x" + Hex(kImageBytes - 1) +
             "); is the file linked for another address?";
    case kErrorHexNoData:
      return s + ": not one data record (an empty file, or not Intel HEX)";
    case kErrorHexRecordType:
      return s + ": record type " + Hex(static_cast<unsigned long long>(f.nHexRecordType < 0 ? 0 : f.nHexRecordType), 2) +
             " is not read (only types 00 to 05 are)";
    default:
      return s;
  }
}

}  // namespace

std::string FailureReason(const FailureFacts& f) {
  if (f.nCode == kResultOk) return "";
  if (f.bPortNotOpened) {
    std::string strCause = f.strPortCause;
    if (strCause.empty()) strCause = f.strSystemText.empty() ? "the system gave no reason" : f.strSystemText;
    else if (!f.strSystemText.empty()) strCause += " [" + f.strSystemText + "]";
    return f.strPortName + " (" + (f.strPortPath.empty() ? "no path" : TerminalText(f.strPortPath)) +
           ") not opened: " + strCause;
  }
  std::string s = ResultMeaning(f.nCode);
  const std::string strWhere = Where(f);
  if (!strWhere.empty()) s += "; " + strWhere;
  if (f.bIdentification && f.nCode == kErrorWrongDevice) {
    s += f.strIdentification.empty()
             ? ": no answer from the device"
             : ": the device answered " + TerminalText(f.strIdentification) + ", expected " + f.strExpected;
  }
  if (!f.strRefusal.empty()) {
    s += ": " + TerminalText(f.strRefusal);
    if (!f.strFolder.empty()) s += " (looked for in " + TerminalText(f.strFolder) + ")";
    if (!f.strOtherBrand.empty())
      s += "; that folder holds the " + f.strOtherBrand + " containers (" + f.strOtherBrandFiles +
           "): is this the right program for the device (a name holding " + f.strOtherBrand + ")?";
  }
  const std::string strHex = HexFacts(f);
  if (!strHex.empty()) s += "; " + strHex;
  // The link's own words where nothing above used them (a GPIB board).
  if (!f.strSystemText.empty() && strHex.empty()) s += "; " + TerminalText(f.strSystemText);
  if (!f.strDetail.empty()) s += ": " + f.strDetail;
  return s;
}

std::string FailureLine(const FailureFacts& f) {
  const std::string strReason = FailureReason(f);
  if (strReason.empty() || f.bPortNotOpened) return strReason;
  return "code " + std::to_string(f.nCode) + ": " + strReason;
}
