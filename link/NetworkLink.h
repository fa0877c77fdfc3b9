// The device link to a power supply behind a serial device server: its RS-232
// port reached over TCP, either with the COM port control of RFC 2217
// (rfc2217://HOST:PORT, the server's serial line set by the program) or as
// raw bytes (socket://HOST:PORT, the line set on the server). It behaves as
// the COM link does: the same read time-outs, measured on the bytes as they
// arrive, one network write per string, a purge that drops what was
// received.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "link/DeviceLink.h"
#include "link/Rfc2217.h"
#include "platform/socket.h"

enum class NetworkKind { Rfc2217, RawTcp };

struct NetworkAddress {
  NetworkKind kind = NetworkKind::Rfc2217;
  std::string strHost;  // a name, an IPv4 address, or an IPv6 address without its brackets
  int nPort = 0;
};

// The URL schemes, as the user writes them.
inline constexpr char kRfc2217Scheme[] = "rfc2217://";
inline constexpr char kRawTcpScheme[] = "socket://";

// Parses rfc2217://HOST:PORT or socket://HOST:PORT (HOST a name, an IPv4
// address or [IPv6], PORT 1 to 65535). 0 with the reason in strError for
// another scheme, a missing or bad port, an empty host or anything after
// the port.
int ParseNetworkAddress(const std::string& strText, NetworkAddress& address, std::string& strError);

// The address as a URL again (IPv6 hosts in brackets).
std::string NetworkAddressUrl(const NetworkAddress& address);

// How long the link waits for the server; fixed, not the device's time-outs.
struct NetworkBounds {
  unsigned msConnect = 5000;   // the TCP connect
  unsigned msNegotiate = 3000; // the options agreed and every line setting acknowledged
  unsigned msPurge = 1000;     // the acknowledgement of a purge
  unsigned msSettle = 200;     // held after the last bytes' time on the line
};

class NetworkLink : public DeviceLink {
 public:
  // Said once per link when the server does not acknowledge a purge.
  using NoticeSink = std::function<void(const std::string& text)>;

  NetworkLink(NetworkAddress address, NoticeSink notice, NetworkBounds bounds = {});
  ~NetworkLink() override;
  NetworkLink(const NetworkLink&) = delete;
  NetworkLink& operator=(const NetworkLink&) = delete;

  // Connects and, for RFC 2217, agrees BINARY both ways and COM port
  // control and sets the line (baud rate, data bits, parity, stop bits, no
  // flow control; DTR and RTS are left as the server has them). 0 with the
  // reason in LastError() when any of it fails: nothing has been sent to
  // the device then.
  int Open(const LinkSettings& settings) override;
  int SendString(const std::string& str) override;
  int SendByte(char ch) override;
  std::string ReceiveString(int n) override;
  // Drops what was received. RFC 2217: PURGE-DATA for both of the server's
  // buffers, and what came before its acknowledgement; raw TCP: what has
  // arrived by now.
  void Purge() override;
  // RFC 2217: a query of the baud rate, which the server answers only once
  // it has read everything sent before it; then, with either kind, the
  // connection is held for the time the last bytes take on the serial line
  // and a margin, since a server may drop what is still on its way to the
  // line when the connection ends. A server that ends the connection
  // during the hold leaves the bytes unconfirmed. A stop signal that comes
  // meanwhile cuts none of this short: the bytes are already on their way,
  // and whether they arrived is what the run must report.
  int Drain() override;
  void Close() override;
  void Release() override { Close(); }
  std::string LastError() const override { return m_strError; }
  // The server as the record describes it: its RFC 2217 signature where it
  // gave one, else its kind, host and port.
  std::string Description() const override;
  const NetworkAddress& Address() const { return m_address; }

 private:
  enum class Pumped { Data, TimedOut, Ended };
  // One wait of at most msWait for the server; what came is decoded, the
  // answers owed are sent.
  Pumped Pump(unsigned msWait);
  // Pumps until pfnDone holds (1), or the bound passes, the connection
  // ends or a stop comes (0, unless pfnDone holds by then).
  int WaitUntil(const std::function<bool()>& pfnDone, unsigned msBound);
  int Send(const std::string& strWire);
  // Reads up to n data bytes by the serial port's rules: the total time-out
  // (multiplier per byte plus constant) and, once a byte came, the interval.
  std::size_t ReadData(char* p, std::size_t n);
  int Negotiate(const LinkSettings& settings);
  // Drain's work, done while stop signals are not heeded.
  int Confirm();
  int Fail(const std::string& strReason);

  NetworkAddress m_address;
  NoticeSink m_notice;
  NetworkBounds m_bounds;
  platform::SocketHandle m_hSocket = platform::kInvalidSocket;
  rfc2217::Client m_telnet;
  std::string m_strRaw;  // socket://: the bytes received and not yet read
  LinkSettings m_settings;
  std::string m_strError;
  std::string m_strSignature;
  bool m_bEnded = false;    // the connection broke: no more waiting
  bool m_bStopped = false;  // a stop signal ended a wait
  bool m_bDraining = false;  // in Drain: stop signals are not heeded
  bool m_bPurgeUnacknowledged = false;
  std::size_t m_nLastSent = 0;  // data bytes of the last write
};
