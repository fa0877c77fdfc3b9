// SerialPort: the program's COM ports, one operating-system handle per port
// number in 30 slots. Every transfer is one synchronous call: one byte, or
// one whole outgoing string.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "platform/serial.h"

// The system's serial calls the manager makes, as one table: the
// platform's by default. A test puts its own entries in front of them to
// make one call fail as some drivers do, or to watch what a call is given.
struct SerialCalls {
  decltype(&platform::OpenComPort) OpenComPort = platform::OpenComPort;
  decltype(&platform::GetCommState) GetCommState = platform::GetCommState;
  decltype(&platform::SetCommState) SetCommState = platform::SetCommState;
  decltype(&platform::GetCommTimeouts) GetCommTimeouts = platform::GetCommTimeouts;
  decltype(&platform::SetCommTimeouts) SetCommTimeouts = platform::SetCommTimeouts;
  decltype(&platform::WriteFile) WriteFile = platform::WriteFile;
  decltype(&platform::ReadFile) ReadFile = platform::ReadFile;
  decltype(&platform::PurgeComm) PurgeComm = platform::PurgeComm;
  decltype(&platform::CloseHandle) CloseHandle = platform::CloseHandle;
};

class SerialPort {
 public:
  // Shows one of the manager's own error boxes (text, caption; error icon,
  // no owner window). The owner of the manager supplies it; without one the
  // messages are dropped.
  using MessageSink = std::function<void(const std::string& text, const std::string& caption)>;

  SerialPort();
  virtual ~SerialPort();
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  void SetMessageSink(MessageSink sink) { m_sink = std::move(sink); }
  // The calls every later operation makes (see SerialCalls).
  void SetCalls(const SerialCalls& calls) { m_calls = calls; }

  // Ports 0 to kSlots-1 have a slot; every call on another number fails
  // (or does nothing) without touching the system, so callers need no guard.
  static constexpr bool HasSlot(int n) { return n >= 0 && n < kSlots; }

  // 1 when the port opened; else 0 and LastOpenError() gives the system's reason.
  int OpenPort(int n);
  const std::string& LastOpenError() const { return m_strLastOpenError; }
  int IsOpen(int n) const;
  int ConfigurePort(int n, std::uint32_t dwBaudRate, std::uint8_t byByteSize, int nParityCheck, std::uint8_t byParity,
                    std::uint8_t byStopBits, std::uint8_t chXon, std::uint8_t chXoff);
  int SetTimeouts(int n, std::uint32_t dwReadInterval, std::uint32_t dwReadMultiplier, std::uint32_t dwReadConstant,
                  std::uint32_t dwWriteMultiplier, std::uint32_t dwWriteConstant);
  int WriteByte(int n, std::uint8_t byData);
  // The whole string in one write call, under the port's write time-outs
  // (multiplier per byte plus constant); 1 if that call succeeded, as
  // WriteByte. An empty string makes no call.
  int WriteString(int n, const std::string& str);
  int ReadByte(int n, char* pch);
  void Purge(int n, std::uint32_t dwFlags);
  void PurgeReceive(int n);
  void ClosePort(int n);

  static constexpr int kSlots = 30;

 private:
  void ShowError(const std::string& text, const std::string& caption);

  platform::SerialHandle m_hPort[kSlots];
  platform::CommState m_dcb{};  // the device control record while ConfigurePort runs
  platform::CommTimeouts m_timeouts{};
  std::uint32_t m_dwBytesWritten = 0;
  MessageSink m_sink;
  SerialCalls m_calls;
  std::string m_strLastOpenError;
};
