// Windows: the file is opened with CreateFileA and taken only when the system
// calls it a disk file (GetFileType), so a pipe, a console or another device
// of that name is refused; a folder does not open as a file at all.
#include "platform/file.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>
// windows.h makes ReplaceFile a macro for ReplaceFileA, which would rename
// platform::ReplaceFile here and leave its callers unresolved.
#undef ReplaceFile

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

// ---- existence, replacing, the reason of a failure ----------------------------
namespace platform {

bool PathExists(const std::string& strPath) {
  if (GetFileAttributesA(strPath.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
  // A file that is there but locked or access-denied still exists.
  const DWORD dwError = GetLastError();
  return dwError != ERROR_FILE_NOT_FOUND && dwError != ERROR_PATH_NOT_FOUND && dwError != ERROR_INVALID_NAME;
}

int ReplaceFile(const std::string& strFrom, const std::string& strTo) {
  return MoveFileExA(strFrom.c_str(), strTo.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ? 1 : 0;
}

std::string LastFileError() {
  const DWORD dwError = GetLastError();
  if (dwError == 0) return "";
  char szText[256] = {};
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, dwError, 0,
                                 szText, sizeof szText, nullptr);
  std::string str(szText, n);
  while (!str.empty() && (str.back() == '\r' || str.back() == '\n' || str.back() == ' ')) str.pop_back();
  return str.empty() ? "error " + std::to_string(dwError) : str;
}

}  // namespace platform
