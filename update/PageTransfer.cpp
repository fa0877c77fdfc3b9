// The page protocol shared by the main- and channel-controller transfers.
#include "update/PageTransfer.h"

#include <cstdio>

#include "update/Models.h"

namespace {

// Characters of the fixed replies.
constexpr int kAckLength = 2;       // "A1", "A2", "E2"
constexpr int kVersionLength = 8;   // the previous firmware version
constexpr int kClosingLength = 1;   // a channel controller's closing character

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
int SendPage(UpdateHost& host, const TransferProfile& profile, const std::uint8_t* pImage, int p, int nPages,
             std::int32_t& nError) {
  TransferWindow& window = host.window;
  DeviceLink& link = host.link;
  window.ProgressPos(p);
  PageEvent page;
  page.strController = profile.strController;
  page.nPage = p + 1;
  page.nPages = nPages;

  std::string strTmp = PageAddressString(p);
  link.SendString(strTmp);
  if (link.ReceiveString(static_cast<int>(strTmp.size())) != strTmp) {
    nError = kTransferAddress;
    return 0;
  }

  unsigned nSum = 0;
  strTmp = PageDataString(pImage + static_cast<std::size_t>(p) * kPageSize, &nSum);
  link.SendString(strTmp);
  if (link.ReceiveString(kAckLength) == "A1") {
    link.SendString(ChecksumString(nSum));
    const std::string answer = link.ReceiveString(kAckLength);
    if (answer == "A2") {
      window.ListInsert(PageLine("Page %i of %i - OK!", p + 1, nPages));
      page.outcome = PageOutcome::Confirmed;
      host.events.OnPage(page);
    } else if (answer == "E2") {
      window.ListInsert(PageLine("Page %i of %i - ERROR!", p + 1, nPages));
      page.outcome = PageOutcome::Refused;
      host.events.OnPage(page);
      window.Message("Checksum Error!", UpdateMsgIcon::Warning);
      nError = kTransferChecksum;
      return 0;
    } else {
      // A reply that is neither (short, garbled, late or none) leaves the
      // page unconfirmed: no line, and no success at the end. The exchange
      // goes on with the next page as the device expects it.
      page.outcome = PageOutcome::Unconfirmed;
      host.events.OnPage(page);
      nError = kTransferUnconfirmed;
    }
    window.RefreshNow();
  } else {
    // Unacknowledged data: no checksum for this page, on with the next one.
    page.outcome = PageOutcome::NotAcknowledged;
    host.events.OnPage(page);
    nError = kTransferNoAck;
  }
  window.UpdateControls();
  return 1;
}

}  // namespace

TransferProfile MainTransferProfile(int nPages, int nAnnounceFlag, const std::string& strFamily) {
  TransferProfile profile;
  profile.nPages = nPages;
  profile.nAnnounceFlag = nAnnounceFlag;
  profile.strStart = "FWU0";
  profile.nIdLength = kMainIdLength;
  profile.strId = strFamily;
  profile.strVersionPrefix = "Previous firmware main controller: ";
  profile.nDotPos = 37;
  profile.strSuccess = "Main controller update successful";
  profile.bChannel = false;
  profile.strController = "main";
  return profile;
}

TransferProfile ChannelTransferProfile(int nChannel, int nPages, int nAnnounceFlag) {
  TransferProfile profile;
  profile.nPages = nPages;
  profile.nAnnounceFlag = nAnnounceFlag;
  if (nChannel >= 0 && nChannel <= 3) profile.strSelect = "FWU" + std::to_string(nChannel + 1);
  profile.strStart = "FWU";
  profile.nIdLength = kChannelIdLength;
  profile.strId = kChannelId;
  profile.strVersionPrefix = "Previous firmware CH" + std::to_string(nChannel + 1) + ": ";
  profile.nDotPos = 25;
  profile.strSuccess = "Channel controller update successful!";
  profile.bChannel = true;
  profile.strController = "ch" + std::to_string(nChannel + 1);
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

std::string ErrorCodeMessage(std::int32_t nError) {
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "Error occured! Code:%i", static_cast<int>(nError));
  return buffer;
}

std::string VersionLine(const std::string& strPrefix, const std::string& strVersion, std::size_t nDotPos) {
  std::string strFirmware = strPrefix + strVersion;
  strFirmware.insert(nDotPos < strFirmware.size() ? nDotPos : strFirmware.size(), ".");
  return strFirmware;
}

void RunPageTransfer(UpdateHost& host, const TransferProfile& profile, const FirmwareImage& image, std::int32_t& nError) {
  TransferWindow& window = host.window;
  DeviceLink& link = host.link;
  const std::uint8_t* pImage = image.m_image.data();
  const int nPages = profile.nPages < kImagePages ? profile.nPages : kImagePages;
  host.events.OnControllerStarted({profile.strController, profile.strContainer, nPages});
  if (profile.bChannel) {
    window.ProgressRange(0, nPages - 1);
    link.Purge();
    host.pause(kCommandPauseMs);
    if (!profile.strSelect.empty()) link.SendString(profile.strSelect);
    host.pause(kCommandPauseMs);
  } else {
    window.UpdateFields();
    link.Purge();
    host.pause(kCommandPauseMs);
    window.ProgressRange(0, nPages - 1);
  }

  link.SendString(profile.strStart);
  IdentificationEvent ident;
  ident.strController = profile.strController;
  ident.strExpected = profile.strId;
  ident.strIdentification = link.ReceiveString(profile.nIdLength);
  if (profile.strId.empty() || ident.strIdentification != profile.strId) {
    host.events.OnIdentification(ident);
    nError = kTransferWrongDevice;
  } else {
    ident.strPreviousVersion = link.ReceiveString(kVersionLength);
    host.events.OnIdentification(ident);
    window.ListInsert(VersionLine(profile.strVersionPrefix, ident.strPreviousVersion, profile.nDotPos));

    const std::string strTmp = AnnouncementString(nPages, profile.nAnnounceFlag);
    link.SendString(strTmp);
    if (link.ReceiveString(static_cast<int>(strTmp.size())) != strTmp) {
      nError = kTransferAnnounce;
    } else {
      for (int p = 0; p < nPages; ++p) {
        if (!SendPage(host, profile, pImage, p, nPages, nError)) break;
      }
      // The channel controller ends its transfer with one more character,
      // also after a stop on a refused checksum or a lost address echo.
      if (profile.bChannel) link.ReceiveString(kClosingLength);
    }
  }

  if (nError == kTransferOk) {
    window.ListInsert(profile.strSuccess);
    window.RefreshNow();
  } else if (nError == kTransferWrongDevice) {
    window.Message("Wrong or no device detected! - Process abort", UpdateMsgIcon::Warning);
  } else {
    window.Message(ErrorCodeMessage(nError), UpdateMsgIcon::Warning);
  }
  host.events.OnControllerEnded({profile.strController, nError});
}
