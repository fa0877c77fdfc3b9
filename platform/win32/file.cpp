// Windows: the file is opened with CreateFileA and taken only when the system
// calls it a disk file (GetFileType), so a pipe, a console or another device
// of that name is refused; a folder does not open as a file at all.
#include "platform/file.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cctype>
#include <string>
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

// ---- removing, temporary names, kinds of paths ---------------------------------
namespace platform {

namespace {

// The part of a path after its last separator.
std::size_t NameStart(const std::string& strPath) {
  const std::size_t n = strPath.find_last_of("/\\:");
  return n == std::string::npos ? 0 : n + 1;
}

// CON, PRN, AUX, NUL, COM1 to COM9 and LPT1 to LPT9 name devices in every
// folder, with any extension and trailing spaces.
bool IsReservedDeviceName(const std::string& strName) {
  std::string strBase = strName.substr(0, strName.find('.'));
  while (!strBase.empty() && strBase.back() == ' ') strBase.pop_back();
  for (char& c : strBase) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (strBase == "CON" || strBase == "PRN" || strBase == "AUX" || strBase == "NUL") return true;
  return strBase.size() == 4 && (strBase.compare(0, 3, "COM") == 0 || strBase.compare(0, 3, "LPT") == 0) &&
         strBase[3] >= '1' && strBase[3] <= '9';
}

}  // namespace

int RemoveFile(const std::string& strPath) {
  if (DeleteFileA(strPath.c_str())) return 1;
  const DWORD dwError = GetLastError();
  return dwError == ERROR_FILE_NOT_FOUND || dwError == ERROR_PATH_NOT_FOUND ? 1 : 0;
}

std::string TemporaryNameBeside(const std::string& strPath, int nTag) {
  const std::size_t nStart = NameStart(strPath);
  std::string strName = strPath.substr(nStart);
  const std::string strSuffix =
      "." + std::to_string(static_cast<unsigned long>(GetCurrentProcessId())) + "-" + std::to_string(nTag) + ".part";
  // A name holds at most 255 characters; the name is cut, never the suffix
  // that makes it unique, and never inside a UTF-8 sequence.
  constexpr std::size_t kNameMax = 255;
  const std::size_t nRoom = kNameMax - 1 - strSuffix.size();
  if (strName.size() > nRoom) {
    std::size_t n = nRoom;
    while (n > 0 && (static_cast<unsigned char>(strName[n]) & 0xC0) == 0x80) --n;
    strName.resize(n);
  }
  return strPath.substr(0, nStart) + "." + strName + strSuffix;
}

PathKind KindOfPath(const std::string& strPath) {
  if (IsReservedDeviceName(strPath.substr(NameStart(strPath)))) return PathKind::Device;
  const DWORD dwAttributes = GetFileAttributesA(strPath.c_str());
  if (dwAttributes == INVALID_FILE_ATTRIBUTES) return PathExists(strPath) ? PathKind::Other : PathKind::Missing;
  if (dwAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return PathKind::Link;
  if (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) return PathKind::Folder;
  if (dwAttributes & FILE_ATTRIBUTE_DEVICE) return PathKind::Device;
  // A pipe or another device under a name of its own (\\.\pipe\...) is
  // no disk file.
  HANDLE h = CreateFileA(strPath.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return PathKind::Regular;
  const DWORD dwType = GetFileType(h);
  CloseHandle(h);
  if (dwType == FILE_TYPE_PIPE) return PathKind::Fifo;
  return dwType == FILE_TYPE_DISK ? PathKind::Regular : PathKind::Device;
}

int CanCreateFileIn(const std::string& strFolder, std::string* pstrReason) {
  const std::string strProbe = TemporaryNameBeside((strFolder.empty() ? "." : strFolder) + "\\probe", -1);
  HANDLE h = CreateFileA(strProbe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    if (pstrReason) *pstrReason = LastFileError();
    return 0;
  }
  CloseHandle(h);
  return 1;
}

}  // namespace platform
