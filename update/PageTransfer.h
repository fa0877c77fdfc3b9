// The page transfer that writes an image into one of the device's
// controllers: the main (front-panel) controller or one channel controller.
// Both speak the same page protocol; a TransferProfile holds what differs.
#pragma once
#include <cstdint>
#include <string>

#include "common/ResultCodes.h"
#include "image/FirmwareImage.h"
#include "update/UpdateHost.h"

// The pause after discarding the device's input and after a channel's
// selection, before the next command: the device needs it to take a
// command as new.
constexpr unsigned kCommandPauseMs = 100;

// Error codes a transfer leaves behind, by the transfer's names for them.
enum TransferError : std::int32_t {
  kTransferOk = kResultOk,
  kTransferNoAck = kErrorNoHexOrNoAck,          // page data not answered "A1"; the transfer goes on
  kTransferChecksum = kErrorChecksumRefused,    // page checksum refused with "E2"
  kTransferAddress = kErrorAddressEcho,         // page address not echoed
  kTransferAnnounce = kErrorAnnounceEcho,       // page count not echoed
  kTransferWrongDevice = kErrorWrongDevice,     // identification does not match
  kTransferUnconfirmed = kErrorNotConfirmed,    // page checksum answered neither "A2" nor "E2"; the transfer goes on
};

struct TransferProfile {
  int nPages = 0;               // N: pages 0 .. N-1 are sent
  int nAnnounceFlag = 1;        // last two hex digits of the announcement
  std::string strSelect;        // channel selection command, "" for none
  std::string strStart;         // "FWU0" or "FWU"
  int nIdLength = 0;            // characters of the identification reply
  std::string strId;            // the one identification accepted (main: the
                                // family of the selected model); "" accepts none
  std::string strVersionPrefix; // list line before the version characters
  std::size_t nDotPos = 0;      // where "." goes into that line
  std::string strSuccess;       // list line after a clean transfer
  bool bChannel = false;        // channel sequence: range first, no field update,
                                // closing character, codes 3/4 still read it
  std::string strController;    // for the events: "main", "ch1" .. "ch4"
  std::string strContainer;     // for the events: the container sent
};

// The main controller's transfer of nPages pages to a controller that must
// identify itself as strFamily ("QRT1440"; "" for a selection with none).
TransferProfile MainTransferProfile(int nPages, int nAnnounceFlag, const std::string& strFamily);
// The transfer to channel nChannel + 1 (index 0 to 3) of nPages pages.
TransferProfile ChannelTransferProfile(int nChannel, int nPages, int nAnnounceFlag);

// Runs one transfer of the first profile.nPages pages of the image (never more
// than the image holds). The outcome goes to nError, which must be 0 on
// entry; the messages have been shown and the controller's events sent on
// return.
void RunPageTransfer(UpdateHost& host, const TransferProfile& profile, const FirmwareImage& image, std::int32_t& nError);

// Outgoing strings of the page protocol, upper-case hex.
std::string AnnouncementString(int nPages, int nAnnounceFlag);  // "%04X%02X"
std::string PageAddressString(int nPage);                        // "%06X" of 256*p
// The page's 256 bytes as 512 hex characters; *pSum receives their byte sum.
std::string PageDataString(const std::uint8_t* pPage, unsigned* pSum);
std::string ChecksumString(unsigned nSum);  // "%04X"
// What one page puts on the line, both ways, one exchange after the other:
// the address and its echo, the data as hex, "A1", the checksum, "A2".
constexpr int kPageWireBytes = 6 + 6 + 2 * 256 + 2 + 4 + 2;
// The time pages take on the line at 19200 baud, 10 bits per character
// (start, 8 data, stop): what a progress display can promise at best.
constexpr double PagesWireSeconds(int nPages) { return nPages * kPageWireBytes * 10.0 / 19200.0; }
// The box a failed step shows for its code: "Error occured! Code:4".
std::string ErrorCodeMessage(std::int32_t nError);
// The version line: prefix and reply, with "." at nDotPos (at the end when
// the line is shorter).
std::string VersionLine(const std::string& strPrefix, const std::string& strVersion, std::size_t nDotPos);
