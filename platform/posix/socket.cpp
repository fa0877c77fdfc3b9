// TCP connections over POSIX sockets: non-blocking descriptors, poll() for
// every wait, MSG_NOSIGNAL so that a server that went away is a failed send
// and not a SIGPIPE.
#include "platform/socket.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/signals.h"

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

// How long a closing connection waits for the server to end its side.
constexpr int kCloseWaitMs = 2000;

int RemainingMs(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  if (left <= 0) return 0;
  return left > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(left);
}


// One address: 0 connected, else the errno of the failure (ETIMEDOUT when
// the time ran out, EINTR for a stop).
int ConnectOne(int fd, const addrinfo* ai, Clock::time_point deadline) {
  if (::connect(fd, ai->ai_addr, ai->ai_addrlen) == 0) return 0;
  if (errno != EINPROGRESS && errno != EINTR) return errno;
  for (;;) {
    if (StopSignal() != 0) return EINTR;
    int wait = RemainingMs(deadline);
    if (wait == 0) return ETIMEDOUT;
    pollfd pfd{fd, POLLOUT, 0};
    int r = ::poll(&pfd, 1, wait);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return errno;
    if (r == 0) continue;  // the next turn sees the time is up
    int nError = 0;
    socklen_t len = sizeof nError;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &nError, &len) != 0) return errno;
    return nError;
  }
}

}  // namespace

SocketHandle ConnectTcp(const std::string& strHost, int nPort, unsigned msTimeout, ConnectFailure& failure,
                        std::string& strReason) {
  failure = ConnectFailure::None;
  strReason.clear();
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(msTimeout);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* pList = nullptr;
  const std::string strPort = std::to_string(nPort);
  int rc = ::getaddrinfo(strHost.c_str(), strPort.c_str(), &hints, &pList);
  if (rc != 0) {
    failure = (rc == EAI_NONAME || rc == EAI_AGAIN || rc == EAI_FAIL
#ifdef EAI_NODATA
               || rc == EAI_NODATA
#endif
               )
                  ? ConnectFailure::UnknownHost
                  : ConnectFailure::Other;
    strReason = rc == EAI_SYSTEM ? std::strerror(errno) : ::gai_strerror(rc);
    return kInvalidSocket;
  }
  int nLastError = ETIMEDOUT;
  int fdConnected = -1;
  for (const addrinfo* ai = pList; ai != nullptr && fdConnected < 0; ai = ai->ai_next) {
    int fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol);
    if (fd < 0) {
      nLastError = errno;
      continue;
    }
    int nError = ConnectOne(fd, ai, deadline);
    if (nError == 0) {
      fdConnected = fd;
      break;
    }
    ::close(fd);
    // A refusal of one address does not hide that another timed out, and
    // the first reason that is not a refusal says most.
    if (nLastError == ETIMEDOUT || nError != ECONNREFUSED) nLastError = nError;
    if (nError == EINTR || nError == ETIMEDOUT) break;
  }
  ::freeaddrinfo(pList);
  if (fdConnected < 0) {
    failure = nLastError == ECONNREFUSED ? ConnectFailure::Refused
              : nLastError == ETIMEDOUT   ? ConnectFailure::TimedOut
              : nLastError == EINTR       ? ConnectFailure::Stopped
                                              : ConnectFailure::Other;
    strReason = ConnectFailureReason(failure, msTimeout, failure == ConnectFailure::Other ? std::strerror(nLastError) : "");
    return kInvalidSocket;
  }
  // Each string of the update is one small write that waits for its reply:
  // Nagle's algorithm would hold it back until the previous one is
  // acknowledged.
  int nOne = 1;
  (void)::setsockopt(fdConnected, IPPROTO_TCP, TCP_NODELAY, &nOne, sizeof nOne);
  return fdConnected;
}

int SocketSend(SocketHandle h, const void* p, std::size_t n, unsigned msTimeout, std::string& strReason,
               bool bHeedStop) {
  const int fd = static_cast<int>(h);
  const auto* pb = static_cast<const unsigned char*>(p);
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(msTimeout);
  std::size_t nDone = 0;
  while (nDone < n) {
    ssize_t k = ::send(fd, pb + nDone, n - nDone, MSG_NOSIGNAL);
    if (k > 0) {
      nDone += static_cast<std::size_t>(k);
      continue;
    }
    if (k < 0 && errno == EINTR && (!bHeedStop || StopSignal() == 0)) continue;
    if (k < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
      strReason = std::strerror(errno);
      return 0;
    }
    if (bHeedStop && StopSignal() != 0) {
      strReason = "stopped";
      return 0;
    }
    int wait = RemainingMs(deadline);
    if (wait == 0) {
      strReason = "the server takes no more data";
      return 0;
    }
    pollfd pfd{fd, POLLOUT, 0};
    if (::poll(&pfd, 1, wait) < 0 && errno != EINTR) {
      strReason = std::strerror(errno);
      return 0;
    }
  }
  return 1;
}

ReceiveResult SocketReceive(SocketHandle h, void* p, std::size_t nCapacity, unsigned msWait, std::size_t* pnCount,
                            std::string& strReason, bool bHeedStop) {
  *pnCount = 0;
  const int fd = static_cast<int>(h);
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(msWait);
  for (;;) {
    ssize_t k = ::recv(fd, p, nCapacity, 0);
    if (k > 0) {
      *pnCount = static_cast<std::size_t>(k);
      return ReceiveResult::Data;
    }
    if (k == 0) {
      strReason = "the server closed the connection";
      return ReceiveResult::Closed;
    }
    if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
      strReason = std::strerror(errno);
      return ReceiveResult::Closed;
    }
    if (bHeedStop && StopSignal() != 0) return ReceiveResult::Stopped;
    int wait = RemainingMs(deadline);
    if (wait == 0) return ReceiveResult::TimedOut;
    pollfd pfd{fd, POLLIN, 0};
    if (::poll(&pfd, 1, wait) < 0 && errno != EINTR) {
      strReason = std::strerror(errno);
      return ReceiveResult::Closed;
    }
  }
}

void CloseSocket(SocketHandle h) {
  if (h == kInvalidSocket) return;
  const int fd = static_cast<int>(h);
  // An orderly end: the end of what was sent is marked after the last byte,
  // and what the server still sends is read and dropped until it ends too.
  // Closed with unread bytes, the connection would be reset instead, and a
  // server may drop what it has not yet passed to the device: the update's
  // closing "FWUE", which awaits no reply.
  if (::shutdown(fd, SHUT_WR) == 0) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kCloseWaitMs);
    char buffer[512];
    for (;;) {
      const int wait = RemainingMs(deadline);
      if (wait == 0) break;
      pollfd pfd{fd, POLLIN, 0};
      const int r = ::poll(&pfd, 1, wait);
      if (r < 0 && errno == EINTR) continue;  // a stop: the wait is bounded anyway
      if (r <= 0) break;
      const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
      if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
      if (n <= 0) break;  // the server's end, or a reset
    }
  }
  ::close(fd);
}

}  // namespace platform
