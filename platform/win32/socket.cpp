// TCP connections over Winsock: non-blocking sockets, select() for every
// wait, in slices short enough that a noted stop ends the wait soon (a
// console control event does not interrupt select as a POSIX signal does
// poll).
#include "platform/socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <chrono>

#include "platform/signals.h"

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kSliceMs = 50;
// How long a closing connection waits for the server to end its side.
constexpr int kCloseWaitMs = 2000;

SOCKET S(SocketHandle h) { return static_cast<SOCKET>(h); }

int RemainingMs(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  if (left <= 0) return 0;
  return left > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(left);
}


bool Started() {
  // Once per process; the system cleans up at exit.
  static const bool bStarted = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return bStarted;
}

std::string ErrorText(int nError) {
  switch (nError) {
    case WSAECONNRESET: return "the connection was reset by the server";
    case WSAECONNABORTED: return "the connection was aborted";
    case WSAECONNREFUSED: return "connection refused";
    case WSAENETUNREACH: return "the network is unreachable";
    case WSAEHOSTUNREACH: return "the host is unreachable";
    case WSAENOTCONN: return "not connected";
    case WSAETIMEDOUT: return "the connection timed out";
    default: break;
  }
  char buffer[256] = {};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           static_cast<DWORD>(nError), 0, buffer, sizeof buffer, nullptr);
  while (n > 0 && (buffer[n - 1] == '\n' || buffer[n - 1] == '\r' || buffer[n - 1] == ' ')) buffer[--n] = 0;
  if (n == 0) return "Winsock error " + std::to_string(nError);
  return buffer;
}

// What a wait is for: data or the connection's end, room to send, or a
// connect's outcome.
enum class Await { Readable, Writable, Connected };

// Waits up to ms for the socket; 1 ready, 0 not yet, -1 select failed.
// The socket is in one set only, except while a connect is awaited: a
// failed connect shows only as an exception. For the other waits the
// exception set adds nothing (an ended or reset connection shows as
// readable, and the send or receive that follows says which), and it costs:
// Wine 8's server fails an assertion and ends when a select holding one
// socket in two sets sees the connection end. The program that waits then
// hangs for ever and every other Wine program of its prefix ends at once.
int WaitReady(SOCKET s, Await what, int ms) {
  fd_set set, except;
  FD_ZERO(&set);
  FD_ZERO(&except);
  FD_SET(s, &set);
  if (what == Await::Connected) FD_SET(s, &except);
  timeval tv{ms / 1000, (ms % 1000) * 1000};
  const bool bRead = what == Await::Readable;
  int r = select(0, bRead ? &set : nullptr, bRead ? nullptr : &set, &except, &tv);
  if (r == SOCKET_ERROR) return -1;
  return r > 0 ? 1 : 0;
}

// One address: 0 connected, else the Winsock error (WSAETIMEDOUT when the
// time ran out, WSAEINTR for a stop).
int ConnectOne(SOCKET s, const addrinfo* ai, Clock::time_point deadline) {
  if (connect(s, ai->ai_addr, static_cast<int>(ai->ai_addrlen)) == 0) return 0;
  int nError = WSAGetLastError();
  if (nError != WSAEWOULDBLOCK && nError != WSAEINPROGRESS) return nError;
  for (;;) {
    if (StopSignal() != 0) return WSAEINTR;
    int wait = RemainingMs(deadline);
    if (wait == 0) return WSAETIMEDOUT;
    int r = WaitReady(s, Await::Connected, wait < kSliceMs ? wait : kSliceMs);
    if (r < 0) return WSAGetLastError();
    if (r == 0) continue;
    int nSockError = 0;
    int len = sizeof nSockError;
    if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&nSockError), &len) != 0) return WSAGetLastError();
    return nSockError;
  }
}

}  // namespace

SocketHandle ConnectTcp(const std::string& strHost, int nPort, unsigned msTimeout, ConnectFailure& failure,
                        std::string& strReason) {
  failure = ConnectFailure::None;
  strReason.clear();
  if (!Started()) {
    failure = ConnectFailure::Other;
    strReason = "Winsock cannot be started";
    return kInvalidSocket;
  }
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(msTimeout);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* pList = nullptr;
  const std::string strPort = std::to_string(nPort);
  int rc = getaddrinfo(strHost.c_str(), strPort.c_str(), &hints, &pList);
  if (rc != 0) {
    failure = (rc == WSAHOST_NOT_FOUND || rc == WSATRY_AGAIN || rc == WSANO_RECOVERY || rc == WSANO_DATA)
                  ? ConnectFailure::UnknownHost
                  : ConnectFailure::Other;
    strReason = failure == ConnectFailure::UnknownHost ? "the name does not resolve" : ErrorText(rc);
    return kInvalidSocket;
  }
  int nLastError = WSAETIMEDOUT;
  SOCKET sConnected = INVALID_SOCKET;
  for (const addrinfo* ai = pList; ai != nullptr; ai = ai->ai_next) {
    SOCKET s = socket(ai->ai_family, ai->ai_socktype, ai->ai_protocol);
    if (s == INVALID_SOCKET) {
      nLastError = WSAGetLastError();
      continue;
    }
    // Not inherited by the processes of a several-ports run.
    SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
    u_long nNonBlocking = 1;
    int nError = ioctlsocket(s, FIONBIO, &nNonBlocking) == 0 ? ConnectOne(s, ai, deadline) : WSAGetLastError();
    if (nError == 0) {
      sConnected = s;
      break;
    }
    closesocket(s);
    if (nLastError == WSAETIMEDOUT || nError != WSAECONNREFUSED) nLastError = nError;
    if (nError == WSAEINTR || nError == WSAETIMEDOUT) break;
  }
  freeaddrinfo(pList);
  if (sConnected == INVALID_SOCKET) {
    failure = nLastError == WSAECONNREFUSED ? ConnectFailure::Refused
              : nLastError == WSAETIMEDOUT   ? ConnectFailure::TimedOut
              : nLastError == WSAEINTR       ? ConnectFailure::Stopped
                                              : ConnectFailure::Other;
    strReason = ConnectFailureReason(failure, msTimeout, failure == ConnectFailure::Other ? ErrorText(nLastError) : "");
    return kInvalidSocket;
  }
  // Each string of the update is one small write that waits for its reply:
  // Nagle's algorithm would hold it back until the previous one is
  // acknowledged.
  BOOL bOne = TRUE;
  (void)setsockopt(sConnected, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&bOne), sizeof bOne);
  return static_cast<SocketHandle>(sConnected);
}

int SocketSend(SocketHandle h, const void* p, std::size_t n, unsigned msTimeout, std::string& strReason,
               bool bHeedStop) {
  const SOCKET s = S(h);
  const char* pc = static_cast<const char*>(p);
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(msTimeout);
  std::size_t nDone = 0;
  while (nDone < n) {
    const std::size_t nLeft = n - nDone;
    int k = send(s, pc + nDone, nLeft > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(nLeft), 0);
    if (k > 0) {
      nDone += static_cast<std::size_t>(k);
      continue;
    }
    int nError = WSAGetLastError();
    if (k == SOCKET_ERROR && nError != WSAEWOULDBLOCK) {
      strReason = ErrorText(nError);
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
    if (WaitReady(s, Await::Writable, wait < kSliceMs ? wait : kSliceMs) < 0) {
      strReason = ErrorText(WSAGetLastError());
      return 0;
    }
  }
  return 1;
}

ReceiveResult SocketReceive(SocketHandle h, void* p, std::size_t nCapacity, unsigned msWait, std::size_t* pnCount,
                            std::string& strReason, bool bHeedStop) {
  *pnCount = 0;
  const SOCKET s = S(h);
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(msWait);
  const int nCap = nCapacity > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(nCapacity);
  for (;;) {
    int k = recv(s, static_cast<char*>(p), nCap, 0);
    if (k > 0) {
      *pnCount = static_cast<std::size_t>(k);
      return ReceiveResult::Data;
    }
    if (k == 0) {
      strReason = "the server closed the connection";
      return ReceiveResult::Closed;
    }
    int nError = WSAGetLastError();
    if (nError != WSAEWOULDBLOCK) {
      strReason = ErrorText(nError);
      return ReceiveResult::Closed;
    }
    if (bHeedStop && StopSignal() != 0) return ReceiveResult::Stopped;
    int wait = RemainingMs(deadline);
    if (wait == 0) return ReceiveResult::TimedOut;
    if (WaitReady(s, Await::Readable, wait < kSliceMs ? wait : kSliceMs) < 0) {
      strReason = ErrorText(WSAGetLastError());
      return ReceiveResult::Closed;
    }
  }
}

void CloseSocket(SocketHandle h) {
  if (h == kInvalidSocket) return;
  const SOCKET s = S(h);
  // An orderly end: the end of what was sent is marked after the last byte,
  // and what the server still sends is read and dropped until it ends too.
  // Closed with unread bytes, the connection would be reset instead, and a
  // server may drop what it has not yet passed to the device: the update's
  // closing "FWUE", which awaits no reply.
  // The wait is the receive's own, bounded, and deaf to stops: a stop must
  // not reset the connection under the last bytes.
  if (shutdown(s, SD_SEND) == 0) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kCloseWaitMs);
    char buffer[512];
    std::size_t nCount = 0;
    std::string strReason;
    while (SocketReceive(h, buffer, sizeof buffer, static_cast<unsigned>(RemainingMs(deadline)), &nCount, strReason,
                         false) == ReceiveResult::Data) {
    }
  }
  closesocket(s);
}

}  // namespace platform
