// POSIX: the file is opened without waiting (O_NONBLOCK: a FIFO without a
// writer, or without a reader, does not block the open) and its kind is
// checked on the open descriptor itself, so nothing can be swapped in
// between the check and the use.
#include "platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

namespace {

// The stream of an open descriptor once it is known to be a regular file.
std::FILE* StreamOfRegular(int fd, const char* pszMode) {
  if (fd < 0) return nullptr;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    errno = EINVAL;
    return nullptr;
  }
  // Blocking again: a regular file never waits, and stdio expects it so.
  const int nFlags = fcntl(fd, F_GETFL);
  if (nFlags != -1) (void)fcntl(fd, F_SETFL, nFlags & ~O_NONBLOCK);
  std::FILE* pFile = fdopen(fd, pszMode);
  if (!pFile) ::close(fd);
  return pFile;
}

}  // namespace

std::FILE* OpenRegularFileForReading(const std::string& strPath) {
  return StreamOfRegular(::open(strPath.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC), "rb");
}

std::FILE* CreateRegularFile(const std::string& strPath) {
  // Not truncated on opening: the kind is checked first. A FIFO without a
  // reader fails here with ENXIO; a folder with EISDIR.
  int fd = ::open(strPath.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
  std::FILE* pFile = StreamOfRegular(fd, "wb");
  if (pFile && ftruncate(fileno(pFile), 0) != 0) {
    std::fclose(pFile);
    return nullptr;
  }
  return pFile;
}

}  // namespace platform

// ---- existence, replacing, the reason of a failure ----------------------------
#include <cstdio>
#include <cstring>
#include <string>

namespace platform {

bool PathExists(const std::string& strPath) {
  struct stat st {};
  return ::lstat(strPath.c_str(), &st) == 0;
}

int ReplaceFile(const std::string& strFrom, const std::string& strTo) {
  return std::rename(strFrom.c_str(), strTo.c_str()) == 0 ? 1 : 0;
}

std::string LastFileError() { return errno != 0 ? std::strerror(errno) : ""; }

int RemoveFile(const std::string& strPath) { return ::unlink(strPath.c_str()) == 0 || errno == ENOENT ? 1 : 0; }

std::string TemporaryNameBeside(const std::string& strPath, int nTag) {
  const std::size_t nSlash = strPath.rfind('/');
  const std::string strFolder = nSlash == std::string::npos ? "" : strPath.substr(0, nSlash + 1);
  std::string strName = nSlash == std::string::npos ? strPath : strPath.substr(nSlash + 1);
  const std::string strSuffix =
      "." + std::to_string(static_cast<long>(::getpid())) + "-" + std::to_string(nTag) + ".part";
  // NAME_MAX of the common file systems; the name is cut, never the
  // suffix that makes it unique, and never inside a UTF-8 sequence.
  constexpr std::size_t kNameMax = 255;
  const std::size_t nRoom = kNameMax - 1 - strSuffix.size();
  if (strName.size() > nRoom) {
    std::size_t n = nRoom;
    while (n > 0 && (static_cast<unsigned char>(strName[n]) & 0xC0) == 0x80) --n;
    strName.resize(n);
  }
  return strFolder + "." + strName + strSuffix;
}

PathKind KindOfPath(const std::string& strPath) {
  struct stat st {};
  if (::lstat(strPath.c_str(), &st) != 0) return PathKind::Missing;
  if (S_ISREG(st.st_mode)) return PathKind::Regular;
  if (S_ISDIR(st.st_mode)) return PathKind::Folder;
  if (S_ISLNK(st.st_mode)) return PathKind::Link;
  if (S_ISFIFO(st.st_mode)) return PathKind::Fifo;
  if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return PathKind::Device;
  return PathKind::Other;
}

int CanCreateFileIn(const std::string& strFolder, std::string* pstrReason) {
  // access() says yes to root for a folder on a read-only mount; only a
  // real creation tells.
  const std::string strProbe = TemporaryNameBeside((strFolder.empty() ? "." : strFolder) + "/probe", -1);
  const int fd = ::open(strProbe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0600);
  if (fd < 0) {
    if (pstrReason) *pstrReason = std::strerror(errno);
    return 0;
  }
  ::close(fd);
  ::unlink(strProbe.c_str());
  return 1;
}

}  // namespace platform
