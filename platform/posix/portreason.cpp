// POSIX: the device is looked at again (its mode, owner and group, its lock)
// to say why it could not be opened.
#include "platform/portreason.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

std::string PortOpenReason(const std::string& strPath) {
  struct stat st {};
  if (::stat(strPath.c_str(), &st) != 0) return "not found: no device at this path (is it plugged in?)";
  if (::access(strPath.c_str(), R_OK | W_OK) != 0) {
    std::string s = "no permission to read and write it";
    if (const group* g = ::getgrgid(st.st_gid)) {
      std::string strGroup = g->gr_name;
      if ((st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP))
        s += "; it belongs to the group " + strGroup + ": add yourself to the group " + strGroup +
             " (sudo usermod -aG " + strGroup + " $USER, then log in again)";
    }
    if ((st.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP)) {
      const passwd* pw = ::getpwuid(st.st_uid);
      s += "; only its owner " + (pw ? std::string(pw->pw_name) : std::to_string(st.st_uid)) +
           " may open it (mode " + std::to_string((st.st_mode >> 6) & 7) + std::to_string((st.st_mode >> 3) & 7) +
           std::to_string(st.st_mode & 7) + ")";
    }
    return s;
  }
  if (!S_ISCHR(st.st_mode)) return "not a serial device (not a character device)";
  // Look again, without changing the line: a second opener meets the lock
  // or the exclusive mode of the program that holds it.
  int fd = ::open(strPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == EBUSY) return "in use by another program (it holds the port exclusively)";
    return "";
  }
  bool bLocked = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  bool bTty = ::isatty(fd) != 0;
  ::close(fd);
  if (bLocked) return "in use by another program: its lock is taken (is another update running on it?)";
  if (!bTty) return "not a serial device (not a terminal)";
  return "";
}

}  // namespace platform
