// The page protocol shared by the main- and channel-controller transfers.
#include "update/PageTransfer.h"

#include <cstdio>

namespace {

constexpr unsigned kPauseMs = 100;

std::string Format(const char* pszFormat, unsigned nValue) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, pszFormat, nValue);
  return buffer;
}

std::string PageLine(const char* pszFormat, int nPage, int nPages) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, pszFormat, nPage, nPages);
  return buffer;
}

// One page: address with its echo, data with "A1", checksum with "A2"/"E2".
// Returns 0 when the transfer must stop (codes 3 and 4), else 1.
int SendPage(UpdateHost& host, const std::uint8_t* pImage, int p, int nPages, std::int32_t& nError) {
  host.ProgressPos(p);

  std::string strTmp = PageAddressString(p);
  host.SendString(strTmp);
  if (host.ReceiveString(6) != strTmp) {
    nError = kTransferAddress;
    return 0;
  }

  unsigned nSum = 0;
  strTmp = PageDataString(pImage + static_cast<std::size_t>(p) * kPageSize, &nSum);
  host.SendString(strTmp);
  if (host.ReceiveString(2) == "A1") {
    host.SendString(ChecksumString(nSum));
    const std::string answer = host.ReceiveString(2);
    if (answer == "A2") {
      host.ListInsert(PageLine("Page %i of %i - OK!", p + 1, nPages));
    } else if (answer == "E2") {
      host.ListInsert(PageLine("Page %i of %i - ERROR!", p + 1, nPages));
      host.Message("Checksum Error!", UpdateMsgIcon::Warning);
      nError = kTransferChecksum;
      return 0;
    } else {
      // A reply that is neither (short, garbled, late or none) leaves the
      // page unconfirmed: no line, and no success at the end. The exchange
      // goes on with the next page as the device expects it.
      nError = kTransferUnconfirmed;
    }
    host.RefreshNow();
  } else {
    // Unacknowledged data: no checksum for this page, on with the next one.
    nError = kTransferNoAck;
  }
  host.UpdateControls();
  return 1;
}

}  // namespace

std::string MainFamilyId(int nSelection) {
  if (nSelection == 1 || nSelection == 2) return "QRT1230";
  if (nSelection == 3 || nSelection == 4) return "QRT1440";
  return "";
}

TransferProfile MainTransferProfile(int nPages, int nAnnounceFlag) {
  TransferProfile profile;
  profile.nPages = nPages;
  profile.nAnnounceFlag = nAnnounceFlag;
  profile.strStart = "FWU0";
  profile.nIdLength = 7;
  profile.bMatchSelection = true;
  profile.strVersionPrefix = "Previous firmware main controller: ";
  profile.nDotPos = 37;
  profile.strSuccess = "Main controller update successful";
  profile.bChannel = false;
  return profile;
}

TransferProfile ChannelTransferProfile(int nChannel, int nPages, int nAnnounceFlag) {
  TransferProfile profile;
  profile.nPages = nPages;
  profile.nAnnounceFlag = nAnnounceFlag;
  if (nChannel >= 0 && nChannel <= 3) profile.strSelect = "FWU" + std::to_string(nChannel + 1);
  profile.strStart = "FWU";
  profile.nIdLength = 9;
  profile.strId = "QRT1230CH";
  profile.strVersionPrefix = "Previous firmware CH" + std::to_string(nChannel + 1) + ": ";
  profile.nDotPos = 25;
  profile.strSuccess = "Channel controller update successful!";
  profile.bChannel = true;
  return profile;
}

std::string AnnouncementString(int nPages, int nAnnounceFlag) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%04X%02X", static_cast<unsigned>(nPages), static_cast<unsigned>(nAnnounceFlag));
  return buffer;
}

std::string PageAddressString(int nPage) { return Format("%06X", static_cast<unsigned>(nPage) * kPageSize); }

std::string PageDataString(const std::uint8_t* pPage, unsigned* pSum) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string str(2 * kPageSize, '0');
  unsigned nSum = 0;
  for (int i = 0; i < kPageSize; ++i) {
    const unsigned b = pPage[i];
    str[2 * i] = kHex[b >> 4];
    str[2 * i + 1] = kHex[b & 0x0F];
    nSum += b;
  }
  *pSum = nSum;
  return str;
}

std::string ChecksumString(unsigned nSum) { return Format("%04X", nSum); }

std::string VersionLine(const std::string& strPrefix, const std::string& strVersion, std::size_t nDotPos) {
  std::string strFirmware = strPrefix + strVersion;
  strFirmware.insert(nDotPos < strFirmware.size() ? nDotPos : strFirmware.size(), ".");
  return strFirmware;
}

void RunPageTransfer(UpdateHost& host, const TransferProfile& profile, const FirmwareImage& image, std::int32_t& nError) {
  const std::uint8_t* pImage = image.m_image.data();
  const int nPages = profile.nPages < kImagePages ? profile.nPages : kImagePages;
  if (profile.bChannel) {
    host.ProgressRange(0, nPages - 1);
    host.PurgeIfCom();
    host.Sleep(kPauseMs);
    if (!profile.strSelect.empty()) host.SendString(profile.strSelect);
    host.Sleep(kPauseMs);
  } else {
    host.UpdateFields();
    host.PurgeIfCom();
    host.Sleep(kPauseMs);
    host.ProgressRange(0, nPages - 1);
  }

  host.SendString(profile.strStart);
  const std::string answer = host.ReceiveString(profile.nIdLength);
  const std::string strExpected = profile.bMatchSelection ? MainFamilyId(host.DeviceSelection()) : profile.strId;
  if (strExpected.empty() || answer != strExpected) {
    nError = kTransferWrongDevice;
  } else {
    host.ListInsert(VersionLine(profile.strVersionPrefix, host.ReceiveString(8), profile.nDotPos));

    const std::string strTmp = AnnouncementString(nPages, profile.nAnnounceFlag);
    host.SendString(strTmp);
    if (host.ReceiveString(6) != strTmp) {
      nError = kTransferAnnounce;
    } else {
      for (int p = 0; p < nPages; ++p) {
        if (!SendPage(host, pImage, p, nPages, nError)) break;
      }
      // The channel controller ends its transfer with one more character,
      // also after a stop on a refused checksum or a lost address echo.
      if (profile.bChannel) host.ReceiveString(1);
    }
  }

  if (nError == kTransferOk) {
    host.ListInsert(profile.strSuccess);
    host.RefreshNow();
  } else if (nError == kTransferWrongDevice) {
    host.Message("Wrong or no device detected! - Process abort", UpdateMsgIcon::Warning);
  } else {
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "Error occured! Code:%i", static_cast<int>(nError));
    host.Message(buffer, UpdateMsgIcon::Warning);
  }
}
