// Opening the program's data files (containers, HEX files). Only regular
// files are taken: a FIFO, a device or a folder of the expected name is
// refused at once, never waited on, so that no open or read can hang the
// program while it may hold a port.
#pragma once
#include <cstdio>
#include <memory>
#include <string>

namespace platform {

// Closes a file opened by the calls below when its owner goes.
struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f != nullptr) std::fclose(f);
  }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

// Opens an existing regular file for reading in binary mode; nullptr when
// it is missing, unreadable or not a regular file.
std::FILE* OpenRegularFileForReading(const std::string& strPath);

// Creates or truncates a regular file for writing in binary mode; nullptr
// when it cannot be created or the name belongs to something that is not a
// regular file (which is then left as it is).
std::FILE* CreateRegularFile(const std::string& strPath);

}  // namespace platform

namespace platform {

// True when something of that name exists (a file, a folder, a FIFO, a
// device; a dangling symbolic link counts too), so that a file that is
// there but cannot be read is told apart from one that is missing.
bool PathExists(const std::string& strPath);

// Puts the file strFrom in the place of strTo in one step (rename; on
// Windows replacing an existing strTo), so a reader finds either the old
// file or the whole new one. 1 on success.
int ReplaceFile(const std::string& strFrom, const std::string& strTo);

// The system's reason for the last failed file call, "" when it has none.
std::string LastFileError();

// Removes a file (not a folder). 1 on success or when it was not there.
int RemoveFile(const std::string& strPath);

// A name beside strPath, in the same folder, for a file that is written
// whole and then renamed to strPath: hidden where the system hides dot
// files, unique to this process and to nTag, and never longer than a name
// may be (255 bytes), however long the final name is.
std::string TemporaryNameBeside(const std::string& strPath, int nTag = 0);

// What a path names, its last part not followed when it is a symbolic link.
enum class PathKind { Missing, Regular, Folder, Link, Fifo, Device, Other };
PathKind KindOfPath(const std::string& strPath);

// Whether a new file can be made in the folder (as the caller, on this file
// system, read-only mounts included): found out by making one and removing
// it again. 0 with the system's reason in *pstrReason otherwise.
int CanCreateFileIn(const std::string& strFolder, std::string* pstrReason);

}  // namespace platform
