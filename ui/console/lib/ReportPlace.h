// Where the update record (--report) may go. It is checked before the
// first action runs, so that a record that could not be written is found
// out before anything is sent to a device, not after it was flashed; and a
// record replaces nothing but an earlier record: never a device, a FIFO, a
// folder or what a symbolic link points to, never a file the update itself
// reads (a container, SHA256SUMS and its signature).
#pragma once
#include <string>

#include "platform/file.h"

namespace ui {

// What was found at the record's place.
struct ReportPlaceFacts {
  std::string strPath;                   // as given to --report
  std::string strFolder;                 // its folder as given, "" for the working folder
  bool bFolderMissing = false;           // the folder does not exist (or is no folder)
  std::string strFolderError;            // why no file can be made there, "" when one can
  platform::PathKind kind = platform::PathKind::Missing;  // what the path names now
  std::string strReadByUpdate;           // the update's own file of that name, "" when none
  bool bForeignFile = false;             // a file holding something other than a record
};

// The facts of a path, found on the file system as it is now.
ReportPlaceFacts FindReportPlace(const std::string& strPath);

// Why the record cannot go there, naming the path; "" when it can.
std::string ReportPlaceReason(const ReportPlaceFacts& facts);

}  // namespace ui
