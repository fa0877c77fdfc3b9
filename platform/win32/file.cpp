// Windows: the file is opened with CreateFileA and taken only when the system
// calls it a disk file (GetFileType), so a pipe, a console or another device
// of that name is refused; a folder does not open as a file at all.
#include "platform/file.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace platform {

namespace {

std::FILE* StreamOfDiskFile(HANDLE h, int nOsFlags, const char* pszMode, bool bTruncate) {
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  if (GetFileType(h) != FILE_TYPE_DISK || (bTruncate && !SetEndOfFile(h))) {
    CloseHandle(h);
    return nullptr;
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), nOsFlags);
  if (fd < 0) {
    CloseHandle(h);
    return nullptr;
  }
  std::FILE* pFile = _fdopen(fd, pszMode);
  if (!pFile) _close(fd);
  return pFile;
}

}  // namespace

std::FILE* OpenRegularFileForReading(const std::string& strPath) {
  HANDLE h = CreateFileA(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  return StreamOfDiskFile(h, _O_RDONLY | _O_BINARY, "rb", false);
}

std::FILE* CreateRegularFile(const std::string& strPath) {
  // Opened without truncation, then cut to zero once it is known to be a
  // disk file.
  HANDLE h = CreateFileA(strPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
  return StreamOfDiskFile(h, _O_WRONLY | _O_BINARY, "wb", true);
}

}  // namespace platform
