#include "LoopbackServer.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
using SockLen = int;
#define CLOSE_SOCKET closesocket
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
using SockLen = socklen_t;
#define CLOSE_SOCKET ::close
#endif

#include <chrono>
#include <cstring>

#include "link/Rfc2217.h"

namespace {

using Clock = std::chrono::steady_clock;

void StartSockets() {
#ifdef _WIN32
  static const bool bStarted = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  (void)bStarted;
#endif
}

// Waits up to ms for the socket to be readable.
bool Readable(std::intptr_t s, int ms) {
#ifdef _WIN32
  fd_set set;
  FD_ZERO(&set);
  FD_SET(static_cast<SOCKET>(s), &set);
  timeval tv{ms / 1000, (ms % 1000) * 1000};
  return select(0, &set, nullptr, nullptr, &tv) > 0;
#else
  pollfd pfd{static_cast<int>(s), POLLIN, 0};
  return ::poll(&pfd, 1, ms) > 0;
#endif
}

std::intptr_t Listen(int* pnPort) {
  StartSockets();
  auto s = static_cast<std::intptr_t>(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  SockLen len = sizeof addr;
  getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
  *pnPort = ntohs(addr.sin_port);
  return s;
}

}  // namespace

void LoopbackServer::Peer::Send(const std::string& bytes) {
  if (!bytes.empty()) send(m_s, bytes.data(), static_cast<int>(bytes.size()), 0);
}

std::string LoopbackServer::Peer::Read(std::size_t n, unsigned msWait) {
  std::string out;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(msWait);
  while (out.size() < n) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0 || !Readable(m_s, static_cast<int>(left))) break;
    char ch = 0;
    if (recv(m_s, &ch, 1, 0) != 1) break;
    out.push_back(ch);
  }
  return out;
}

bool LoopbackServer::Peer::EndedInOrder(unsigned msWait) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(msWait);
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0 || !Readable(m_s, static_cast<int>(left))) return false;
    char ch = 0;
    const auto n = recv(m_s, &ch, 1, 0);
    if (n == 0) return true;  // the client's end, after everything it sent
    if (n < 0) return false;  // reset
  }
}

std::string LoopbackServer::Peer::ReadUntil(const std::string& strEnd, unsigned msWait) {
  std::string out;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(msWait);
  while (out.size() < strEnd.size() || out.compare(out.size() - strEnd.size(), strEnd.size(), strEnd) != 0) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0 || !Readable(m_s, static_cast<int>(left))) break;
    char ch = 0;
    if (recv(m_s, &ch, 1, 0) != 1) break;
    out.push_back(ch);
  }
  return out;
}

void LoopbackServer::Peer::Close() {
  if (m_s != -1) CLOSE_SOCKET(m_s);
  m_s = -1;
}

void LoopbackServer::Peer::Reset() {
  if (m_s == -1) return;
  // Closed with a zero linger time, the connection is reset, not ended.
  linger l{};
  l.l_onoff = 1;
  l.l_linger = 0;
  setsockopt(m_s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l);
  Close();
}

LoopbackServer::LoopbackServer(Script script) {
  m_listen = Listen(&m_nPort);
  listen(m_listen, 1);
  m_thread = std::thread([this, script = std::move(script)] {
    if (!Readable(m_listen, 20000)) return;
    auto s = static_cast<std::intptr_t>(accept(m_listen, nullptr, nullptr));
    if (s == -1) return;
    Peer peer(s);
    script(peer);
    peer.Close();
  });
}

LoopbackServer::~LoopbackServer() {
  Join();
  if (m_listen != -1) CLOSE_SOCKET(m_listen);
}

void LoopbackServer::Join() {
  if (m_thread.joinable()) m_thread.join();
}

int LoopbackServer::FreePort() {
  int nPort = 0;
  std::intptr_t s = Listen(&nPort);
  CLOSE_SOCKET(s);
  return nPort;
}

std::string AgreeOptions() {
  using namespace rfc2217;
  // ser2net's own opening (suppress go-ahead both ways, echo offered and
  // refused) before it agrees to the client's three requests.
  return OptionCommand(kWill, kOptSuppressGoAhead) + OptionCommand(kDo, kOptSuppressGoAhead) +
         OptionCommand(kWill, 1) + OptionCommand(kDont, 1) + OptionCommand(kDo, kOptBinary) +
         OptionCommand(kWill, kOptBinary) + OptionCommand(kDo, kOptComPort);
}

std::string ComPortReply(std::uint8_t c, const std::string& v) {
  return rfc2217::ComPortCommand(static_cast<std::uint8_t>(c + rfc2217::kServerOffset), v);
}
