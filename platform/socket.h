// TCP connections to serial device servers: POSIX sockets on Linux, Winsock
// on Windows. A connection is made with a time-out of its own, sends every
// small write at once (TCP_NODELAY), and is read without blocking beyond the
// wait the caller gives, so that the link above can measure the serial
// port's time-outs on the bytes as they arrive. Like the serial layer's
// waits, a wait returns early once a stop signal (platform/signals.h) has
// been noted.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

using SocketHandle = std::intptr_t;
constexpr SocketHandle kInvalidSocket = -1;

// Why a connection could not be made; the text of ConnectTcp says more.
enum class ConnectFailure {
  None,
  UnknownHost,  // the name does not resolve
  Refused,      // nothing listens at that port (or a firewall said no)
  TimedOut,     // no answer within the time-out
  Stopped,      // a stop signal came during the connect
  Other,        // unreachable network, no sockets, ...
};

// A wait as a person reads it: "5 s", or "700 ms" when not whole seconds.
inline std::string WaitText(unsigned ms) {
  if (ms % 1000 == 0) return std::to_string(ms / 1000) + " s";
  return std::to_string(ms) + " ms";
}

// The reason ConnectTcp gives for a failure it has classified; strSystemText
// is the system's own text, used for ConnectFailure::Other. The same words on
// every system.
inline std::string ConnectFailureReason(ConnectFailure failure, unsigned msTimeout, const std::string& strSystemText) {
  switch (failure) {
    case ConnectFailure::Refused: return "connection refused";
    case ConnectFailure::TimedOut: return "no answer within " + WaitText(msTimeout);
    case ConnectFailure::Stopped: return "stopped while connecting";
    default: return strSystemText;
  }
}

// Connects to strHost (a name, an IPv4 address, or an IPv6 address without
// brackets) at nPort, trying each address the name resolves to until one
// answers, within msTimeout in all. On success the socket is non-blocking,
// with TCP_NODELAY set, and is not inherited by child processes. On failure
// returns kInvalidSocket, sets failure and puts the reason in strReason
// ("connection refused", "no answer within 5 s", the resolver's text).
SocketHandle ConnectTcp(const std::string& strHost, int nPort, unsigned msTimeout, ConnectFailure& failure,
                        std::string& strReason);

// Sends all n bytes with as few calls as the system allows (one, unless its
// buffer is full), waiting at most msTimeout for room. 1 when everything went
// out; 0 when the connection is gone, a stop signal came, or the time ran
// out (strReason says which).
// With bHeedStop false a stop signal does not end the send or the wait
// below: the update's last bytes, once written, are followed to their end
// whatever comes.
int SocketSend(SocketHandle h, const void* p, std::size_t n, unsigned msTimeout, std::string& strReason,
               bool bHeedStop = true);

// What SocketReceive found.
enum class ReceiveResult {
  Data,      // *pnCount bytes (1 or more) were read
  TimedOut,  // nothing within the wait (also for a wait of 0)
  Closed,    // the server closed the connection, or it broke; strReason says how
  Stopped,   // a stop signal came during the wait
};

// Waits at most msWait for bytes and reads what is there, up to nCapacity.
ReceiveResult SocketReceive(SocketHandle h, void* p, std::size_t nCapacity, unsigned msWait, std::size_t* pnCount,
                            std::string& strReason, bool bHeedStop = true);

// Ends the connection in order: what was sent goes out before its end, and
// what the server still sends is read and dropped until the server ends its
// side too (2 s at most), so that the connection is never reset with bytes
// the server has not yet passed on.
void CloseSocket(SocketHandle h);

}  // namespace platform
