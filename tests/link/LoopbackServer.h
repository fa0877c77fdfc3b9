// A scripted TCP server on loopback for the network link's tests: it
// listens on 127.0.0.1 at a port the system picks, takes one connection on a
// thread of its own and runs the test's script on it. The script plays a
// serial device server as a test needs it (one that never acknowledges, one
// that does not speak Telnet, one that hangs up). POSIX sockets natively,
// Winsock under Wine.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

class LoopbackServer {
 public:
  // The accepted connection as the script sees it.
  class Peer {
   public:
    explicit Peer(std::intptr_t s) : m_s(s) {}
    // Everything, in one send.
    void Send(const std::string& bytes);
    // Reads until n bytes came or msWait passed; what came.
    std::string Read(std::size_t n, unsigned msWait);
    // Reads until the bytes read end with strEnd or msWait passed; all read.
    std::string ReadUntil(const std::string& strEnd, unsigned msWait);
    // Waits for the client to end the connection, reading what it still
    // sends: true for an orderly end, false for a reset or none within msWait.
    bool EndedInOrder(unsigned msWait);
    // Closes the connection at once.
    void Close();
    // Resets the connection at once.
    void Reset();

   private:
    std::intptr_t m_s;
  };
  using Script = std::function<void(Peer&)>;

  // Listens at once; the script runs when the client connects.
  explicit LoopbackServer(Script script);
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  int Port() const { return m_nPort; }
  // Waits for the script to end.
  void Join();

  // A port on loopback where nothing listens (bound, then closed again).
  static int FreePort();

 private:
  std::intptr_t m_listen = -1;
  int m_nPort = 0;
  std::thread m_thread;
};

// The opening a well-behaved RFC 2217 server (ser2net 4.3) answers with:
// BINARY and COM-PORT-OPTION agreed.
std::string AgreeOptions();
// The server's reply to COM port command c with value v.
std::string ComPortReply(std::uint8_t c, const std::string& v);
