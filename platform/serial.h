// Serial-port calls with the semantics of the Win32 calls they mirror
// (CreateFileA, GetCommState, SetCommState, GetCommTimeouts, SetCommTimeouts,
// WriteFile, ReadFile, PurgeComm, CloseHandle). Windows passes them straight
// to the system; POSIX emulates them over termios.
#pragma once
#include <cstdint>
#include <string>

namespace platform {

using SerialHandle = std::intptr_t;
constexpr SerialHandle kInvalidHandle = -1;

// The fields of the Win32 DCB that the program reads or writes.
struct CommState {
  std::uint32_t BaudRate = 0;
  bool fBinary = true;
  bool fParity = false;
  bool fOutxCtsFlow = false;
  bool fOutxDsrFlow = false;
  std::uint8_t fDtrControl = 0;  // 0 disable, 1 enable, 2 handshake
  bool fDsrSensitivity = false;
  bool fTXContinueOnXoff = false;
  bool fOutX = false;
  bool fInX = false;
  bool fErrorChar = false;
  bool fNull = false;
  std::uint8_t fRtsControl = 0;  // 0 disable, 1 enable, 2 handshake, 3 toggle
  bool fAbortOnError = false;
  std::uint16_t XonLim = 0;
  std::uint16_t XoffLim = 0;
  std::uint8_t ByteSize = 8;
  std::uint8_t Parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
  std::uint8_t StopBits = 0;  // 0 one, 1 one and a half, 2 two
  char XonChar = 0x11;
  char XoffChar = 0x13;
  char ErrorChar = 0;
  char EofChar = 0;
  char EvtChar = 0;
};

struct CommTimeouts {
  std::uint32_t ReadIntervalTimeout = 0;
  std::uint32_t ReadTotalTimeoutMultiplier = 0;
  std::uint32_t ReadTotalTimeoutConstant = 0;
  std::uint32_t WriteTotalTimeoutMultiplier = 0;
  std::uint32_t WriteTotalTimeoutConstant = 0;
};

constexpr std::uint32_t kPurgeTxAbort = 0x0001;
constexpr std::uint32_t kPurgeRxAbort = 0x0002;
constexpr std::uint32_t kPurgeTxClear = 0x0004;
constexpr std::uint32_t kPurgeRxClear = 0x0008;

// Opens COM port n for reading and writing, exclusively, existing device
// only, synchronous I/O. Windows opens "//./COM<n>"; POSIX opens the path
// ComPortPath(n) gives (platform/ports.h), refuses anything that is not a
// terminal or that another opener holds (flock), and puts the line in raw
// mode while keeping its speed, format and flow control, as a Windows port
// keeps them between opens; on Linux it asks for low-latency mode until the
// port is closed. Returns kInvalidHandle on failure.
// POSIX notes: SetCommState refuses what Windows refuses (unknown speed, data
// bits outside 5..8, equal XON and XOFF characters with software flow control
// on) and leaves the port unchanged then; modem lines a device lacks (a
// pseudo-terminal) are no error; abort-on-error is kept but not enforced.
SerialHandle OpenComPort(int n);
bool GetCommState(SerialHandle h, CommState& state);
bool SetCommState(SerialHandle h, const CommState& state);
bool GetCommTimeouts(SerialHandle h, CommTimeouts& timeouts);
bool SetCommTimeouts(SerialHandle h, const CommTimeouts& timeouts);
// Any length; on a time-out the call succeeds with *pdwCount short of length.
bool WriteFile(SerialHandle h, const void* buffer, std::uint32_t length, std::uint32_t* pdwCount);
bool ReadFile(SerialHandle h, void* buffer, std::uint32_t length, std::uint32_t* pdwCount);
bool PurgeComm(SerialHandle h, std::uint32_t flags);
bool CloseHandle(SerialHandle h);
// The system's own text for the error of the last failed call on this
// thread (strerror of errno; FormatMessage of GetLastError), read at once
// after the failure: "No such file or directory", "Access is denied.".
std::string LastErrorText();

}  // namespace platform
