// The device link: the characters to and from the power supply over a COM
// port or GPIB. One implementation per link kind, made for a link address by
// the table of link kinds (MakeDeviceLink, link/LinkAddress.cpp);
// UpdateDialog's SendString, SendByte and ReceiveString delegate to the link
// of its interface, and the update command opens and closes it.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "link/LinkAddress.h"

class SerialPort;

// The most characters one ReceiveString returns: a reply holds at most 49.
constexpr int kMaxReceive = 49;

// What an update run opens the link with.
struct LinkSettings {
  LinkAddress address;  // what the link was made for
  // COM: read interval, read per character, read constant, write per
  // character, write constant, in milliseconds. One character read gives up
  // after 200 + 500 ms.
  std::uint32_t dwReadInterval = 200;
  std::uint32_t dwReadMultiplier = 200;
  std::uint32_t dwReadConstant = 500;
  std::uint32_t dwWriteMultiplier = 100;
  std::uint32_t dwWriteConstant = 1000;
  // COM line: 19200 baud, 8 data bits, no parity check, no parity, one stop
  // bit, no XON/XOFF characters.
  std::uint32_t dwBaudRate = 19200;
  std::uint8_t byByteSize = 8;
  int nParityCheck = 0;
  std::uint8_t byParity = 0;
  std::uint8_t byStopBits = 0;
  std::uint8_t chXon = 0;
  std::uint8_t chXoff = 0;
  // GPIB: board 0, primary address 30, no secondary address, time-out code
  // 12 (3 s), EOI not asserted on the last byte, no end-of-string character.
  int nGpibBoard = 0;
  int nGpibPad = 30;
  int nGpibSad = 0;
  int nGpibTimeout = 12;
  int nGpibEot = 0;
  int nGpibEos = 0;
};

class DeviceLink {
 public:
  virtual ~DeviceLink() = default;
  // 1 when the link is open and set up for the update, else 0 with the
  // reason kept for LastError(). A COM port whose time-outs or line cannot
  // be set still counts as open: the serial-port manager reports that itself.
  virtual int Open(const LinkSettings& settings) = 0;
  // 1 when the link took every character (a time-out counts as taken), 0
  // when a write failed: the adapter or the device is gone.
  virtual int SendString(const std::string& str) = 0;
  virtual int SendByte(char ch) = 0;
  // At most n characters (n is clamped to 0..kMaxReceive); shorter when the
  // device fell silent.
  virtual std::string ReceiveString(int n) = 0;
  // Discards pending input (COM); nothing on GPIB.
  virtual void Purge() = 0;
  // Called after the last write, which awaits no reply: 1 once what was
  // written is known to be on its way to the device, 0 when that cannot be
  // confirmed (the reason in LastError()). A COM port's driver sends what it
  // took before the port closes, and a GPIB write ends when the device took
  // it, so only a link through a device server has anything to wait for.
  virtual int Drain() { return 1; }
  // Ends the run: a COM port is closed, a GPIB device taken offline.
  virtual void Close() = 0;
  // Gives back what stays open when the window closes: a COM port is
  // closed; a GPIB device, already offline after each run, is left alone.
  virtual void Release() {}
  // The system's reason of the last failure (an open that failed), "" when none.
  virtual std::string LastError() const { return ""; }
  // What the link itself knows of the adapter it reaches (a device server's
  // own name), "" when it knows nothing beyond what the system lists.
  virtual std::string Description() const { return ""; }
};

// What the links of a window work over: its serial-port manager, the
// field that holds the GPIB device descriptor of a run, and where a link
// tells the user something that does not stop the run (a device server that
// does not acknowledge a purge); nothing is said without one.
struct LinkResources {
  SerialPort& serial;
  std::int32_t& nGpibDevice;
  std::function<void(const std::string& text)> notice = nullptr;
};

// The link the kind of an address makes: a COM port, GPIB, or, for USB and
// an invalid address, a link that reaches no device (sends fail, receives
// are empty, open fails).
std::unique_ptr<DeviceLink> MakeDeviceLink(const LinkAddress& address, const LinkResources& resources);

// How a window makes its links; tests put a scripted link in its place.
using DeviceLinkFactory = std::function<std::unique_ptr<DeviceLink>(const LinkAddress&, const LinkResources&)>;

// The links of the kinds, as the table of link kinds makes them.
std::unique_ptr<DeviceLink> MakeComLink(int nPort, const LinkResources& resources);
std::unique_ptr<DeviceLink> MakeGpibLink(const LinkResources& resources);
// strWhy: the reason its open gives.
std::unique_ptr<DeviceLink> MakeNoLink(const std::string& strWhy = "no device link on this interface");
