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

namespace platform {

bool PathExists(const std::string& strPath) {
  struct stat st {};
  return ::lstat(strPath.c_str(), &st) == 0;
}

int ReplaceFile(const std::string& strFrom, const std::string& strTo) {
  return std::rename(strFrom.c_str(), strTo.c_str()) == 0 ? 1 : 0;
}

std::string LastFileError() { return errno != 0 ? std::strerror(errno) : ""; }

}  // namespace platform
