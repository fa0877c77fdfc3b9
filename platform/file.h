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
