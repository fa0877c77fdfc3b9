// Placeholder until the serial-port manager is built: every port fails to open.
#include "link/serialport.h"

SerialPort::SerialPort() {
  for (auto& h : m_hPort) h = platform::kInvalidHandle;
}
SerialPort::~SerialPort() = default;
int SerialPort::OpenPort(int) { return 0; }
int SerialPort::IsOpen(int n) const { return m_hPort[n] != platform::kInvalidHandle; }
int SerialPort::ConfigurePort(int, std::uint32_t, std::uint8_t, int, std::uint8_t, std::uint8_t, std::uint8_t,
                              std::uint8_t) {
  return 0;
}
int SerialPort::SetTimeouts(int, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) { return 0; }
int SerialPort::WriteByte(int, std::uint8_t) { return 0; }
int SerialPort::ReadByte(int, char* pch) {
  *pch = 0;
  return 0;
}
void SerialPort::Purge(int, std::uint32_t) {}
void SerialPort::PurgeReceive(int) {}
void SerialPort::ClosePort(int) {}
