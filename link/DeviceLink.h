// The device link of one update run: the characters to and from the power
// supply over a COM port or GPIB. One implementation per interface kind,
// chosen by a small table; UpdateDialog's SendString, SendByte and
// ReceiveString delegate to the link of the run.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

class SerialPort;

// Interface values of a run (kept in UpdateDialog::m_nInterface): the
// interface list's index plus one. COM1..COM29, then USB, then GPIB.
constexpr std::int32_t kInterfaceComFirst = 1;
constexpr std::int32_t kInterfaceComLast = 29;
constexpr std::int32_t kInterfaceUsb = 30;
constexpr std::int32_t kInterfaceGpib = 31;

constexpr bool IsComInterface(std::int32_t nInterface) {
  return nInterface >= kInterfaceComFirst && nInterface <= kInterfaceComLast;
}

// What a run opens: the COM port number (1 to 29) or the GPIB settings.
struct LinkSettings {
  std::int32_t nInterface = 0;  // 1..29 COM, 31 GPIB
  int nGpibBoard = 0;
  int nGpibAddress = 12;
};

class DeviceLink {
 public:
  virtual ~DeviceLink() = default;
  // 1 when the link is open and set up for the update, else 0 with the
  // reason kept for LastError().
  virtual int Open(const LinkSettings& settings) = 0;
  // 1 when the link took every character (a time-out counts as taken), 0
  // when a write failed: the adapter or the device is gone.
  virtual int SendString(const std::string& str) = 0;
  virtual int SendByte(char ch) = 0;
  // At most n characters; shorter when the device fell silent.
  virtual std::string ReceiveString(int n) = 0;
  // Discards pending input (COM); nothing on GPIB.
  virtual void Purge() = 0;
  virtual void Close() = 0;
  // The system's reason of the last failure (an open that failed), "" when none.
  virtual std::string LastError() const = 0;
};
