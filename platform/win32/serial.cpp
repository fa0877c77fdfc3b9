// Windows serial ports: the Win32 communications calls, unchanged.
#include "platform/serial.h"
#include "platform/ports.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace platform {

namespace {

HANDLE H(SerialHandle h) { return reinterpret_cast<HANDLE>(h); }

void ToDcb(const CommState& s, DCB& d) {
  d.BaudRate = s.BaudRate;
  d.fBinary = s.fBinary;
  d.fParity = s.fParity;
  d.fOutxCtsFlow = s.fOutxCtsFlow;
  d.fOutxDsrFlow = s.fOutxDsrFlow;
  d.fDtrControl = s.fDtrControl;
  d.fDsrSensitivity = s.fDsrSensitivity;
  d.fTXContinueOnXoff = s.fTXContinueOnXoff;
  d.fOutX = s.fOutX;
  d.fInX = s.fInX;
  d.fErrorChar = s.fErrorChar;
  d.fNull = s.fNull;
  d.fRtsControl = s.fRtsControl;
  d.fAbortOnError = s.fAbortOnError;
  d.XonLim = s.XonLim;
  d.XoffLim = s.XoffLim;
  d.ByteSize = s.ByteSize;
  d.Parity = s.Parity;
  d.StopBits = s.StopBits;
  d.XonChar = s.XonChar;
  d.XoffChar = s.XoffChar;
  d.ErrorChar = s.ErrorChar;
  d.EofChar = s.EofChar;
  d.EvtChar = s.EvtChar;
}

void FromDcb(const DCB& d, CommState& s) {
  s.BaudRate = d.BaudRate;
  s.fBinary = d.fBinary;
  s.fParity = d.fParity;
  s.fOutxCtsFlow = d.fOutxCtsFlow;
  s.fOutxDsrFlow = d.fOutxDsrFlow;
  s.fDtrControl = static_cast<std::uint8_t>(d.fDtrControl);
  s.fDsrSensitivity = d.fDsrSensitivity;
  s.fTXContinueOnXoff = d.fTXContinueOnXoff;
  s.fOutX = d.fOutX;
  s.fInX = d.fInX;
  s.fErrorChar = d.fErrorChar;
  s.fNull = d.fNull;
  s.fRtsControl = static_cast<std::uint8_t>(d.fRtsControl);
  s.fAbortOnError = d.fAbortOnError;
  s.XonLim = d.XonLim;
  s.XoffLim = d.XoffLim;
  s.ByteSize = d.ByteSize;
  s.Parity = d.Parity;
  s.StopBits = d.StopBits;
  s.XonChar = d.XonChar;
  s.XoffChar = d.XoffChar;
  s.ErrorChar = d.ErrorChar;
  s.EofChar = d.EofChar;
  s.EvtChar = d.EvtChar;
}

}  // namespace

SerialHandle OpenComPort(int n) {
  // COM n is the system's port of that name, or the one a USB serial number
  // chose (platform/ports.h); "" when that adapter is not there.
  const std::string strPath = ComPortPath(n);
  if (strPath.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return kInvalidHandle;
  }
  HANDLE h = CreateFileA(strPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return kInvalidHandle;
  return reinterpret_cast<SerialHandle>(h);
}

bool GetCommState(SerialHandle h, CommState& state) {
  DCB dcb{};
  dcb.DCBlength = sizeof(DCB);
  if (!::GetCommState(H(h), &dcb)) return false;
  FromDcb(dcb, state);
  return true;
}

bool SetCommState(SerialHandle h, const CommState& state) {
  DCB dcb{};
  dcb.DCBlength = sizeof(DCB);  // 28 bytes
  ToDcb(state, dcb);
  return ::SetCommState(H(h), &dcb) != 0;
}

bool GetCommTimeouts(SerialHandle h, CommTimeouts& timeouts) {
  COMMTIMEOUTS t{};
  if (!::GetCommTimeouts(H(h), &t)) return false;
  timeouts.ReadIntervalTimeout = t.ReadIntervalTimeout;
  timeouts.ReadTotalTimeoutMultiplier = t.ReadTotalTimeoutMultiplier;
  timeouts.ReadTotalTimeoutConstant = t.ReadTotalTimeoutConstant;
  timeouts.WriteTotalTimeoutMultiplier = t.WriteTotalTimeoutMultiplier;
  timeouts.WriteTotalTimeoutConstant = t.WriteTotalTimeoutConstant;
  return true;
}

bool SetCommTimeouts(SerialHandle h, const CommTimeouts& timeouts) {
  COMMTIMEOUTS t{};
  t.ReadIntervalTimeout = timeouts.ReadIntervalTimeout;
  t.ReadTotalTimeoutMultiplier = timeouts.ReadTotalTimeoutMultiplier;
  t.ReadTotalTimeoutConstant = timeouts.ReadTotalTimeoutConstant;
  t.WriteTotalTimeoutMultiplier = timeouts.WriteTotalTimeoutMultiplier;
  t.WriteTotalTimeoutConstant = timeouts.WriteTotalTimeoutConstant;
  return ::SetCommTimeouts(H(h), &t) != 0;
}

bool WriteFile(SerialHandle h, const void* buffer, std::uint32_t length, std::uint32_t* pdwCount) {
  DWORD dw = 0;
  BOOL ok = ::WriteFile(H(h), buffer, length, &dw, nullptr);
  if (pdwCount) *pdwCount = dw;
  return ok != 0;
}

bool ReadFile(SerialHandle h, void* buffer, std::uint32_t length, std::uint32_t* pdwCount) {
  DWORD dw = 0;
  BOOL ok = ::ReadFile(H(h), buffer, length, &dw, nullptr);
  if (pdwCount) *pdwCount = dw;
  return ok != 0;
}

bool PurgeComm(SerialHandle h, std::uint32_t flags) { return ::PurgeComm(H(h), flags) != 0; }

bool CloseHandle(SerialHandle h) { return ::CloseHandle(H(h)) != 0; }

std::string LastErrorText() {
  const DWORD dwError = ::GetLastError();
  char buffer[512] = {};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, dwError, 0, buffer,
                           sizeof buffer, nullptr);
  // The system's text ends in CR LF; a code without one is given by number.
  while (n > 0 && (buffer[n - 1] == '\r' || buffer[n - 1] == '\n' || buffer[n - 1] == ' ')) buffer[--n] = '\0';
  if (n == 0) return "error " + std::to_string(dwError);
  return buffer;
}

}  // namespace platform
