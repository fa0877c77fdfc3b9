// Why a run failed, in the user's terms: the one place that turns the facts
// a failure left (the port and its path, the controller and page, the file
// and line, what the device answered) into the short reason that stands
// beside the result code: on the console's last line, in the JSON stream's
// "result", in the update record and in the Linux window's box details.
// Whoever meets a failure fills the facts it knows; the text is made here.
#pragma once
#include <cstdint>
#include <string>

struct FailureFacts {
  std::int32_t nCode = 0;  // the result code (common/ResultCodes.h)

  // A link that would not open: its name ("COM10", "GPIB"), the path or
  // address behind it, what a look at the device found, the system's text.
  bool bPortNotOpened = false;
  std::string strPortName;
  std::string strPortPath;
  std::string strPortCause;
  // The system's or the link's own text (also of a link that opened but
  // cannot work, such as a GPIB library that is not there).
  std::string strSystemText;

  // Where in an update: the controller ("main", "ch2"), the page (1-based,
  // 0 for none) of how many, and the container it came from.
  std::string strController;
  int nPage = 0;
  int nPages = 0;
  std::string strContainer;

  // The identification exchange: what the device answered (as received)
  // and what the model's controller answers.
  bool bIdentification = false;
  std::string strIdentification;
  std::string strExpected;

  // A container refused before it was sent: why, the folder it was looked
  // for in (absolute), and another brand whose containers lie there.
  std::string strRefusal;
  std::string strFolder;
  std::string strOtherBrand;
  std::string strOtherBrandFiles;  // "FW1E.qrt", "FW1A.qrt, FW1C.qrt"

  // A HEX import: the file (as opened, or its absolute path when it could
  // not be opened), the 1-based line of the record at fault and the
  // address it reached (-1 for none).
  std::string strHexFile;
  int nHexLine = 0;
  std::int64_t nHexAddress = -1;
  int nHexRecordType = -1;

  // Anything else, in words: a usage error, a stop, a refused output file.
  std::string strDetail;
};

// The reason for the facts' code; "" for success (code 0).
std::string FailureReason(const FailureFacts& facts);

// The console's line for it, without the program's prefix: the reason of a
// port that did not open stands alone ("COM10 (/dev/ttyUSB0) not opened:
// ..."), every other one follows its code ("code 4: ...").
std::string FailureLine(const FailureFacts& facts);
