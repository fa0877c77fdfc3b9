// Every result code the program can end with, in one table: the codes a
// command leaves in m_nError, the console's own and the exit statuses of an
// interrupted update. --help, the manual page and the machine-readable
// output read their meanings from here.
#pragma once
#include <cstdint>

enum ResultCodeValue : std::int32_t {
  kResultOk = 0,
  kErrorHexOpen = 1,            // a HEX file cannot be opened
  kErrorNoHexOrNoAck = 2,       // no HEX file selected (create), or page data not answered "A1" (update)
  kErrorChecksumRefused = 3,    // a page checksum refused with "E2"
  kErrorAddressEcho = 4,        // a page address not echoed
  kErrorAnnounceEcho = 5,       // the page count not echoed
  kErrorWrongDevice = 6,        // the identification does not match
  kErrorContainerMissing = 7,   // a firmware container missing or incomplete, or not matching SHA256SUMS
  kErrorNotConfirmed = 8,       // a page checksum not confirmed, or a failed send
  kErrorHexChecksum = 9,        // a HEX record failed its checksum
  kErrorHexBeyondImage = 10,    // a HEX data record reaches beyond the image
  kErrorHexNoData = 11,         // a HEX file holding no data record
  kErrorHexRecordType = 12,     // a HEX record of a type the import does not read
  kExitUsage = 64,              // console: usage error
  kExitPortProcessLost = 70,    // console, several ports: a port's process not started or ended without a result
  kExitCannotCreate = 73,       // console: the record (--report) cannot be created where it is asked for
  kExitNoBrand = 78,            // console: the name holds no brand keyword
  kErrorPortOpen = 99,          // the COM port cannot be opened (update) ...
  kErrorContainerWrite = 99,    // ... or a container cannot be written or reads back different (create)
  kExitHangup = 129,            // console: update stopped by SIGHUP
  kExitInterrupt = 130,         // console: update stopped by SIGINT (Ctrl-C, Ctrl-Break)
  kExitTerminate = 143,         // console: update stopped by SIGTERM
};

struct ResultCode {
  std::int32_t nCode;
  const char* pszMeaning;  // the line --help prints after the number
};

// All rows, sorted by code.
const ResultCode* ResultCodes(int* pnCount);
// The row of a code, or nullptr for a code the program never leaves.
const ResultCode* FindResultCode(std::int32_t nCode);
// The meaning of a code, or "unknown code" for one outside the table.
const char* ResultMeaning(std::int32_t nCode);
