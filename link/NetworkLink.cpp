// The network device link: a TCP connection to a serial device server, with
// RFC 2217's COM port control or as raw bytes.
#include "link/NetworkLink.h"

#include <chrono>
#include <utility>

namespace {

using Clock = std::chrono::steady_clock;

unsigned RemainingMs(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  if (left <= 0) return 0;
  return left > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<unsigned>(left);
}


bool IsDigits(const std::string& s) {
  if (s.empty()) return false;
  for (char ch : s) {
    if (ch < '0' || ch > '9') return false;
  }
  return true;
}

std::string Lower(std::string s) {
  for (char& ch : s) {
    if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
  }
  return s;
}

// One line setting: what is asked, and its name for the reasons.
struct LineSetting {
  std::uint8_t byCommand;
  std::string strValue;
  const char* pszName;
};

std::string DescribeValue(std::uint8_t byCommand, const std::string& strValue) {
  if (byCommand == rfc2217::kSetBaudRate && strValue.size() == 4) {
    std::uint32_t n = 0;
    for (char ch : strValue) n = (n << 8) | static_cast<std::uint8_t>(ch);
    return std::to_string(n);
  }
  if (strValue.size() == 1) return std::to_string(static_cast<std::uint8_t>(strValue[0]));
  return "a value of " + std::to_string(strValue.size()) + " bytes";
}

}  // namespace

int ParseNetworkAddress(const std::string& strText, NetworkAddress& address, std::string& strError) {
  const std::size_t nSchemeEnd = strText.find("://");
  if (nSchemeEnd == std::string::npos) {
    strError = "'" + strText + "' is not a network address (rfc2217://HOST:PORT or socket://HOST:PORT)";
    return 0;
  }
  const std::string strScheme = Lower(strText.substr(0, nSchemeEnd + 3));
  NetworkAddress result;
  if (strScheme == kRfc2217Scheme) {
    result.kind = NetworkKind::Rfc2217;
  } else if (strScheme == kRawTcpScheme) {
    result.kind = NetworkKind::RawTcp;
  } else {
    strError = "'" + strText + "': unknown scheme '" + strText.substr(0, nSchemeEnd) +
               "' (rfc2217://HOST:PORT or socket://HOST:PORT)";
    return 0;
  }
  const std::string strRest = strText.substr(nSchemeEnd + 3);
  std::string strPort;
  bool bHasPort = false;
  if (!strRest.empty() && strRest[0] == '[') {
    const std::size_t nClose = strRest.find(']');
    if (nClose == std::string::npos) {
      strError = "'" + strText + "': the IPv6 address has no closing ']'";
      return 0;
    }
    result.strHost = strRest.substr(1, nClose - 1);
    const std::string strAfter = strRest.substr(nClose + 1);
    if (!strAfter.empty() && strAfter[0] != ':') {
      strError = "'" + strText + "': only ':PORT' may follow the IPv6 address";
      return 0;
    }
    bHasPort = !strAfter.empty();
    if (bHasPort) strPort = strAfter.substr(1);
  } else {
    const std::size_t nColon = strRest.rfind(':');
    if (nColon != std::string::npos && strRest.find(':') != nColon) {
      strError = "'" + strText + "': an IPv6 address is written in brackets, as [::1]:PORT";
      return 0;
    }
    result.strHost = strRest.substr(0, nColon);
    bHasPort = nColon != std::string::npos;
    if (bHasPort) strPort = strRest.substr(nColon + 1);
  }
  if (result.strHost.empty()) {
    strError = "'" + strText + "' names no host";
    return 0;
  }
  if (result.strHost.find_first_of("/?#@ ") != std::string::npos) {
    strError = "'" + strText + "': only HOST:PORT may follow the scheme";
    return 0;
  }
  if (!bHasPort || strPort.empty()) {
    strError = "'" + strText + "' has no TCP port (" + strScheme + "HOST:PORT)";
    return 0;
  }
  if (!IsDigits(strPort) || strPort.size() > 5 || std::stoi(strPort) < 1 || std::stoi(strPort) > 65535) {
    strError = "'" + strText + "': the TCP port must be a number from 1 to 65535";
    return 0;
  }
  result.nPort = std::stoi(strPort);
  address = std::move(result);
  return 1;
}

std::string NetworkAddressUrl(const NetworkAddress& address) {
  const bool bIpv6 = address.strHost.find(':') != std::string::npos;
  return std::string(address.kind == NetworkKind::Rfc2217 ? kRfc2217Scheme : kRawTcpScheme) +
         (bIpv6 ? "[" + address.strHost + "]" : address.strHost) + ":" + std::to_string(address.nPort);
}

NetworkLink::NetworkLink(NetworkAddress address, NoticeSink notice, NetworkBounds bounds)
    : m_address(std::move(address)), m_notice(std::move(notice)), m_bounds(bounds) {}

NetworkLink::~NetworkLink() { Close(); }

int NetworkLink::Fail(const std::string& strReason) {
  m_strError = strReason;
  Close();
  return 0;
}

int NetworkLink::Open(const LinkSettings& settings) {
  Close();
  m_settings = settings;
  m_strError.clear();
  m_strSignature.clear();
  m_bPurgeUnacknowledged = false;
  platform::ConnectFailure failure = platform::ConnectFailure::None;
  std::string strReason;
  m_hSocket = platform::ConnectTcp(m_address.strHost, m_address.nPort, m_bounds.msConnect, failure, strReason);
  if (m_hSocket == platform::kInvalidSocket) {
    if (failure == platform::ConnectFailure::UnknownHost) {
      return Fail("unknown host '" + m_address.strHost + "': " + strReason);
    }
    if (failure == platform::ConnectFailure::Refused) {
      return Fail("connection refused: nothing listens at port " + std::to_string(m_address.nPort) + " of " +
                  m_address.strHost + " (is the device server running, and is this its port?)");
    }
    return Fail("no connection: " + strReason);
  }
  if (m_address.kind == NetworkKind::Rfc2217 && !Negotiate(settings)) return 0;
  return 1;
}

int NetworkLink::Negotiate(const LinkSettings& s) {
  if (!Send(m_telnet.Start())) return Fail("the server closed the connection at once (" + m_strError + ")");
  auto settled = [this] {
    return m_telnet.ComPort() != rfc2217::OptionState::Pending &&
           m_telnet.BinaryToServer() != rfc2217::OptionState::Pending &&
           m_telnet.BinaryFromServer() != rfc2217::OptionState::Pending;
  };
  WaitUntil(settled, m_bounds.msNegotiate);
  if (m_bStopped) return Fail("stopped during the Telnet negotiation");
  if (m_bEnded) return Fail("the server closed the connection during the Telnet negotiation (" + m_strError + ")");
  if (m_telnet.ComPort() != rfc2217::OptionState::Agreed) {
    return Fail(std::string("the server does not speak RFC 2217: ") +
                (m_telnet.ComPort() == rfc2217::OptionState::Refused
                     ? "it refused the COM port control option"
                     : "no answer to the COM port control option within " + platform::WaitText(m_bounds.msNegotiate)) +
                " (for a raw TCP port use socket://)");
  }
  if (m_telnet.BinaryToServer() != rfc2217::OptionState::Agreed ||
      m_telnet.BinaryFromServer() != rfc2217::OptionState::Agreed) {
    return Fail("the server refused binary transmission (Telnet BINARY) in both directions");
  }

  // Windows' parity and stop-bit codes, as the serial line takes them, in
  // RFC 2217's numbering.
  const std::uint8_t byParity = static_cast<std::uint8_t>(s.byParity + 1);
  const std::uint8_t byStop = s.byStopBits == 0 ? 1 : (s.byStopBits == 2 ? 2 : 3);
  const LineSetting settings[] = {
      {rfc2217::kSetBaudRate, rfc2217::BigEndian32(s.dwBaudRate), "baud rate"},
      {rfc2217::kSetDataSize, std::string(1, static_cast<char>(s.byByteSize)), "data bits"},
      {rfc2217::kSetParity, std::string(1, static_cast<char>(byParity)), "parity"},
      {rfc2217::kSetStopSize, std::string(1, static_cast<char>(byStop)), "stop bits"},
      {rfc2217::kSetControl, std::string(1, static_cast<char>(rfc2217::kControlNoFlowControl)), "flow control"},
  };
  // The signature first, so that its answer is in by the time the line
  // settings are; all in one write.
  std::string strWire = rfc2217::ComPortCommand(rfc2217::kSignature, "");
  m_telnet.ForgetReply(rfc2217::kSignature);
  for (const LineSetting& setting : settings) {
    strWire += rfc2217::ComPortCommand(setting.byCommand, setting.strValue);
    m_telnet.ForgetReply(setting.byCommand);
  }
  if (!Send(strWire)) return Fail("the connection broke while setting the line (" + m_strError + ")");
  auto acknowledged = [&] {
    for (const LineSetting& setting : settings) {
      if (!m_telnet.Reply(setting.byCommand, nullptr)) return false;
    }
    return true;
  };
  WaitUntil(acknowledged, m_bounds.msNegotiate);
  if (m_bStopped) return Fail("stopped while setting the line");
  if (m_bEnded) return Fail("the server closed the connection while setting the line (" + m_strError + ")");
  for (const LineSetting& setting : settings) {
    std::string strValue;
    if (!m_telnet.Reply(setting.byCommand, &strValue)) {
      return Fail(std::string("the server did not acknowledge the ") + setting.pszName + " within " +
                  platform::WaitText(m_bounds.msNegotiate));
    }
    if (strValue != setting.strValue) {
      return Fail(std::string("the server refused the ") + setting.pszName + " " +
                  DescribeValue(setting.byCommand, setting.strValue) + " (it answered " +
                  DescribeValue(setting.byCommand, strValue) + ")");
    }
  }
  std::string strSignature;
  if (m_telnet.Reply(rfc2217::kSignature, &strSignature)) m_strSignature = strSignature;
  // What the line carried before it was set is not the device's answer.
  m_telnet.DropData(m_telnet.Data().size());
  return 1;
}

int NetworkLink::WaitUntil(const std::function<bool()>& pfnDone, unsigned msBound) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(msBound);
  while (!pfnDone()) {
    const unsigned wait = RemainingMs(deadline);
    if (wait == 0 || Pump(wait) == Pumped::Ended) return pfnDone() ? 1 : 0;
  }
  return 1;
}

NetworkLink::Pumped NetworkLink::Pump(unsigned msWait) {
  if (m_hSocket == platform::kInvalidSocket || m_bEnded) return Pumped::Ended;
  std::uint8_t buffer[4096];
  std::size_t nCount = 0;
  std::string strReason;
  switch (platform::SocketReceive(m_hSocket, buffer, sizeof buffer, msWait, &nCount, strReason, !m_bDraining)) {
    case platform::ReceiveResult::Data:
      break;
    case platform::ReceiveResult::TimedOut:
      return Pumped::TimedOut;
    case platform::ReceiveResult::Stopped:
      m_bStopped = true;
      return Pumped::Ended;
    case platform::ReceiveResult::Closed:
      m_bEnded = true;
      m_strError = strReason;
      return Pumped::Ended;
  }
  if (m_address.kind == NetworkKind::RawTcp) {
    m_strRaw.append(reinterpret_cast<const char*>(buffer), nCount);
  } else {
    m_telnet.Receive(buffer, nCount);
    const std::string strAnswers = m_telnet.TakeAnswers();
    if (!strAnswers.empty()) Send(strAnswers);
  }
  return Pumped::Data;
}

int NetworkLink::Send(const std::string& strWire) {
  if (m_hSocket == platform::kInvalidSocket || m_bEnded) return 0;
  if (strWire.empty()) return 1;
  // The serial port's write time-out: a multiplier per byte and a constant.
  const unsigned msTimeout = m_settings.dwWriteMultiplier * static_cast<unsigned>(strWire.size()) +
                             m_settings.dwWriteConstant;
  std::string strReason;
  if (platform::SocketSend(m_hSocket, strWire.data(), strWire.size(), msTimeout, strReason, !m_bDraining)) return 1;
  if (strReason != "stopped") {
    m_bEnded = true;
    m_strError = strReason;
  }
  return 0;
}

int NetworkLink::SendString(const std::string& str) {
  if (str.empty()) return m_hSocket != platform::kInvalidSocket && !m_bEnded ? 1 : 0;
  m_nLastSent = str.size();
  return Send(m_address.kind == NetworkKind::Rfc2217 ? rfc2217::EscapeData(str) : str);
}

int NetworkLink::SendByte(char ch) { return SendString(std::string(1, ch)); }

std::size_t NetworkLink::ReadData(char* p, std::size_t n) {
  std::string& strPending = m_address.kind == NetworkKind::RawTcp ? m_strRaw : m_telnet.Data();
  auto take = [&](std::size_t nWant) {
    const std::size_t k = nWant < strPending.size() ? nWant : strPending.size();
    strPending.copy(p, k);
    if (m_address.kind == NetworkKind::RawTcp) {
      m_strRaw.erase(0, k);
    } else {
      m_telnet.DropData(k);
    }
    return k;
  };
  std::size_t nDone = take(n);
  const LinkSettings& t = m_settings;
  const Clock::time_point start = Clock::now();
  const Clock::time_point total =
      start + std::chrono::milliseconds(std::uint64_t{t.dwReadMultiplier} * n + t.dwReadConstant);
  Clock::time_point interval = start + std::chrono::milliseconds(t.dwReadInterval);
  while (nDone < n) {
    unsigned wait = RemainingMs(total);
    if (nDone > 0 && t.dwReadInterval != 0) {
      const unsigned w = RemainingMs(interval);
      if (w < wait) wait = w;
    }
    if (wait == 0) break;
    if (Pump(wait) == Pumped::Ended) break;
    const std::size_t k = take(n - nDone);
    if (k > 0) {
      p += k;
      nDone += k;
      interval = Clock::now() + std::chrono::milliseconds(t.dwReadInterval);
    }
  }
  return nDone;
}

std::string NetworkLink::ReceiveString(int n) {
  n = n < 0 ? 0 : (n > kMaxReceive ? kMaxReceive : n);
  char buffer[kMaxReceive + 1] = {};
  // As over a COM port: one read per character, each with its own time-out,
  // every one made; the string ends at the first gap.
  for (int i = 0; i < n; ++i) {
    if (ReadData(&buffer[i], 1) != 1) buffer[i] = '\0';
  }
  buffer[n] = '\0';
  return buffer;
}

void NetworkLink::Purge() {
  if (m_hSocket == platform::kInvalidSocket) return;
  if (m_address.kind == NetworkKind::RawTcp) {
    while (Pump(0) == Pumped::Data) {
    }
    m_strRaw.clear();
    return;
  }
  m_telnet.ForgetReply(rfc2217::kPurgeData);
  if (!Send(rfc2217::ComPortCommand(rfc2217::kPurgeData, std::string(1, static_cast<char>(rfc2217::kPurgeBoth))))) {
    m_telnet.DropData(m_telnet.Data().size());
    return;
  }
  std::size_t nMark = 0;
  WaitUntil([&] { return m_telnet.Reply(rfc2217::kPurgeData, nullptr, &nMark); }, m_bounds.msPurge);
  if (m_telnet.Reply(rfc2217::kPurgeData, nullptr, &nMark)) {
    // What the server sent before it purged is old; what came after is new.
    m_telnet.DropData(nMark);
    return;
  }
  // No acknowledgement: everything that came during the wait is dropped.
  m_telnet.DropData(m_telnet.Data().size());
  if (!m_bPurgeUnacknowledged && !m_bEnded && !m_bStopped) {
    m_bPurgeUnacknowledged = true;
    if (m_notice) {
      m_notice("The device server at " + NetworkAddressUrl(m_address) + " does not acknowledge a purge (RFC 2217 " +
               "PURGE-DATA) within " + platform::WaitText(m_bounds.msPurge) +
               "; what arrives while the program waits for it is discarded instead.");
    }
  }
}

int NetworkLink::Drain() {
  m_bDraining = true;
  const int nConfirmed = Confirm();
  m_bDraining = false;
  return nConfirmed;
}

int NetworkLink::Confirm() {
  if (m_hSocket == platform::kInvalidSocket || m_bEnded) {
    m_strError = "the connection to the device server ended before it took the last bytes" +
                 (m_strError.empty() ? std::string() : " (" + m_strError + ")");
    return 0;
  }
  if (m_address.kind == NetworkKind::Rfc2217) {
    m_telnet.ForgetReply(rfc2217::kSetBaudRate);
    if (Send(rfc2217::ComPortCommand(rfc2217::kSetBaudRate, rfc2217::BigEndian32(0)))) {
      WaitUntil([this] { return m_telnet.Reply(rfc2217::kSetBaudRate, nullptr); }, m_bounds.msNegotiate);
    }
    if (!m_telnet.Reply(rfc2217::kSetBaudRate, nullptr)) {
      m_strError = m_bEnded ? "the device server closed the connection before it confirmed the last bytes (" +
                                  m_strError + ")"
                            : "the device server did not answer within " + platform::WaitText(m_bounds.msNegotiate) +
                                  " after the last bytes";
      return 0;
    }
  }
  // The serial line's time for the last bytes at 10 bits a character.
  const std::uint32_t dwBaud = m_settings.dwBaudRate ? m_settings.dwBaudRate : 19200;
  const unsigned msLine = static_cast<unsigned>((std::uint64_t{m_nLastSent} * 10 * 1000 + dwBaud - 1) / dwBaud);
  WaitUntil([] { return false; }, msLine + m_bounds.msSettle);
  // A server keeps the connection while its line works; one that ends it
  // now (ser2net does when its serial side fails) may not have passed the
  // bytes on, whatever it answered before.
  if (m_bEnded) {
    m_strError = "the device server closed the connection right after the last bytes (" + m_strError + ")";
    return 0;
  }
  return 1;
}

void NetworkLink::Close() {
  if (m_hSocket != platform::kInvalidSocket) platform::CloseSocket(m_hSocket);
  m_hSocket = platform::kInvalidSocket;
  m_telnet = rfc2217::Client();
  m_strRaw.clear();
  m_bEnded = false;
  m_bStopped = false;
}

std::string NetworkLink::Description() const {
  if (!m_strSignature.empty()) return m_strSignature + " (" + NetworkAddressUrl(m_address) + ")";
  return std::string(m_address.kind == NetworkKind::Rfc2217 ? "RFC 2217 device server" : "raw TCP device server") +
         " at " + (m_address.strHost.find(':') != std::string::npos ? "[" + m_address.strHost + "]" : m_address.strHost) +
         ":" + std::to_string(m_address.nPort);
}
