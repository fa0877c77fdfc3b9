// The client's side of a Telnet connection with the COM port control option
// of RFC 2217, as pure code: bytes from the server go in, data bytes and the
// answers the client owes come out, and the server's replies to COM port
// commands are kept for the caller to look at. No I/O, no clock: the
// network link (NetworkLink) does the waiting.
#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace rfc2217 {

// Telnet (RFC 854, 855) command bytes.
constexpr std::uint8_t kIac = 255;
constexpr std::uint8_t kDont = 254;
constexpr std::uint8_t kDo = 253;
constexpr std::uint8_t kWont = 252;
constexpr std::uint8_t kWill = 251;
constexpr std::uint8_t kSb = 250;
constexpr std::uint8_t kSe = 240;

// Options: binary transmission (RFC 856), suppress go-ahead (RFC 858), COM
// port control (RFC 2217).
constexpr std::uint8_t kOptBinary = 0;
constexpr std::uint8_t kOptSuppressGoAhead = 3;
constexpr std::uint8_t kOptComPort = 44;

// COM port commands, client to server; the server answers with the same
// command plus kServerOffset and the value it set.
constexpr std::uint8_t kSignature = 0;
constexpr std::uint8_t kSetBaudRate = 1;
constexpr std::uint8_t kSetDataSize = 2;
constexpr std::uint8_t kSetParity = 3;
constexpr std::uint8_t kSetStopSize = 4;
constexpr std::uint8_t kSetControl = 5;
constexpr std::uint8_t kPurgeData = 12;
constexpr std::uint8_t kServerOffset = 100;

// Values of the commands above that the update uses.
constexpr std::uint8_t kParityNone = 1;
constexpr std::uint8_t kStopSizeOne = 1;
constexpr std::uint8_t kControlNoFlowControl = 1;
constexpr std::uint8_t kPurgeBoth = 3;

// Data bytes as they go on the wire: every 0xFF doubled.
std::string EscapeData(std::string_view data);

// IAC verb option.
std::string OptionCommand(std::uint8_t verb, std::uint8_t option);

// IAC SB COM-PORT-OPTION command value IAC SE, the value escaped.
std::string ComPortCommand(std::uint8_t command, std::string_view value);

// A 32-bit value in network byte order, as SET-BAUDRATE carries it.
std::string BigEndian32(std::uint32_t value);

// The state of an option the client asked the server to agree to.
enum class OptionState { Pending, Agreed, Refused };

class Client {
 public:
  // The opening negotiation: WILL BINARY, DO BINARY, WILL COM-PORT-OPTION.
  std::string Start();

  // Takes bytes from the server. Data goes to Data(); option requests of the
  // server are answered (TakeAnswers); COM port replies are kept.
  void Receive(const std::uint8_t* p, std::size_t n);

  // The data bytes received so far, undoubled, in order. The caller takes
  // them from the front.
  std::string& Data() { return m_strData; }

  // What the client owes the server (answers to its option requests),
  // emptied by the call.
  std::string TakeAnswers();

  OptionState ComPort() const { return m_comPort; }
  OptionState BinaryToServer() const { return m_binaryOut; }    // the server's DO BINARY
  OptionState BinaryFromServer() const { return m_binaryIn; }  // the server's WILL BINARY

  // The server's reply to COM port command c since ForgetReply(c): its
  // value, and how many bytes Data() held when it came (what came before
  // it, for a purge the bytes to drop).
  bool Reply(std::uint8_t command, std::string* pValue, std::size_t* pnDataMark = nullptr) const;
  void ForgetReply(std::uint8_t command);
  // Data().erase(0, n) that keeps the marks of the replies in step.
  void DropData(std::size_t n);

 private:
  void OnOption(std::uint8_t verb, std::uint8_t option);
  void OnSubnegotiation();

  enum class Parse { Data, Iac, Option, Sub, SubIac };
  Parse m_parse = Parse::Data;
  std::uint8_t m_byVerb = 0;
  std::string m_strSub;
  std::string m_strData;
  std::string m_strAnswers;
  OptionState m_comPort = OptionState::Pending;
  OptionState m_binaryOut = OptionState::Pending;
  OptionState m_binaryIn = OptionState::Pending;
  bool m_bSgaLocal = false;
  bool m_bSgaRemote = false;
  struct ReplyEntry {
    std::string strValue;
    std::size_t nDataMark = 0;
  };
  std::map<std::uint8_t, ReplyEntry> m_replies;
};

}  // namespace rfc2217
