// The table of result codes. A meaning is the text --help, the manual page and
// the README print after the number, on one line; --help wraps the long ones.
#include "common/ResultCodes.h"

#include <algorithm>
#include <iterator>

namespace {

// One row per number the program ends with, sorted by code. 99 stands for
// both kErrorPortOpen and kErrorContainerWrite: one command leaves it for a
// port, the other for a container, and the one text names both.
constexpr ResultCode kResultCodes[] = {
    {kResultOk, "success"},
    {kErrorHexOpen, "a HEX file cannot be opened"},
    {kErrorNoHexOrNoAck, "no HEX file selected (create), or a page's data not acknowledged (update)"},
    {kErrorChecksumRefused, "a page's checksum refused by the device"},
    {kErrorAddressEcho, "a page address not echoed"},
    {kErrorAnnounceEcho, "the page count not echoed"},
    {kErrorWrongDevice, "wrong or no device"},
    {kErrorContainerMissing, "a firmware container missing or incomplete, or not matching SHA256SUMS"},
    {kErrorNotConfirmed, "a page's checksum not confirmed, or a failed send"},
    {kErrorHexChecksum, "a HEX record failed its checksum"},
    {kErrorHexBeyondImage, "a HEX data record reaches beyond the firmware image"},
    {kErrorHexNoData, "a HEX file holding no data record"},
    {kErrorHexRecordType, "a HEX record of a type the import does not read (06 and above)"},
    {kExitUsage, "usage error"},
    {kExitPortProcessLost,
     "several ports: the port's update process could not start, or ended without a result (killed)"},
    {kExitCannotCreate,
     "the record (--report) cannot be created there: its folder missing or not writable, a device, FIFO, "
     "folder or symbolic link, or a file the update reads; nothing was sent"},
    {kExitNoBrand, "the name holds no brand keyword (within its first 1024 characters)"},
    {kErrorPortOpen,
     "the COM port cannot be opened (update), or a container cannot be written or reads back different (create)"},
    // The console's stop signals: 128 plus the signal's number.
    {kExitHangup, "stopped by SIGHUP (the terminal or the console window closed)"},
    {kExitInterrupt, "stopped by SIGINT (Ctrl-C, or Ctrl-Break on Windows)"},
    {kExitTerminate, "stopped by SIGTERM"},
};

constexpr bool SortedAndUnique() {
  for (std::size_t i = 1; i < std::size(kResultCodes); ++i)
    if (kResultCodes[i - 1].nCode >= kResultCodes[i].nCode) return false;
  return true;
}
static_assert(SortedAndUnique(), "result codes must be sorted by code, one row per code");
static_assert(kErrorPortOpen == kErrorContainerWrite, "one row stands for both");

}  // namespace

const ResultCode* ResultCodes(int* pnCount) {
  if (pnCount) *pnCount = static_cast<int>(std::size(kResultCodes));
  return kResultCodes;
}

const ResultCode* FindResultCode(std::int32_t nCode) {
  const ResultCode* pEnd = std::end(kResultCodes);
  const ResultCode* p =
      std::lower_bound(std::begin(kResultCodes), pEnd, nCode, [](const ResultCode& r, std::int32_t n) { return r.nCode < n; });
  return p != pEnd && p->nCode == nCode ? p : nullptr;
}

const char* ResultMeaning(std::int32_t nCode) {
  const ResultCode* p = FindResultCode(nCode);
  return p ? p->pszMeaning : "unknown code";
}
