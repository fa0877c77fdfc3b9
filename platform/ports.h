// Which device each COM port number stands for, and the COM ports present:
// the one place every front end asks.
//
// Windows names its COM ports itself. On POSIX, COM n is the path in
// QRTUPDATE_COM<n> when that is set, else a device chosen by number, so that
// the number stays the same while the same adapter stays plugged in:
//   COM1..COM9    /dev/ttyS0..ttyS8     built-in serial ports (UARTs)
//   COM10..COM19  /dev/ttyUSB0..ttyUSB9 USB-serial adapters (FTDI, Prolific, CP210x, CH340)
//   COM20..COM29  /dev/ttyACM0..ttyACM9 USB modem-class adapters and boards
// QRTUPDATE_DEVICE_ROOT, when set, is a folder that stands for / wherever
// /dev and /sys are read (a test tree in place of this machine's hardware).
#pragma once
#include <string>
#include <utility>
#include <vector>

namespace platform {

struct ComPortEntry {
  int n = 0;                   // COM port number, 1..29
  std::string strPath;         // what the program opens for it
  std::string strDescription;  // what the system knows of the device
  // The same, field by field, where the system knows it ("" otherwise): a
  // USB adapter's vendor and product ids (4 hex digits), its maker, product
  // and serial number as the device reports them, and the driver serving it.
  std::string strVid, strPid, strManufacturer, strProduct, strSerial, strDriver;

  ComPortEntry() = default;
  ComPortEntry(int nNumber, std::string strPortPath, std::string strText)
      : n(nNumber), strPath(std::move(strPortPath)), strDescription(std::move(strText)) {}
};

// The variable that names the device behind COM n: QRTUPDATE_COM<n>.
inline constexpr char kComPortVariable[] = "QRTUPDATE_COM";
inline std::string ComPortVariable(int n) { return kComPortVariable + std::to_string(n); }

// The device COM port n opens (POSIX), or the Windows device name of COM n;
// on both, the network address of a COM port that stands for one (below).
std::string ComPortPath(int n);

// COM n may stand for a port on a serial device server: QRTUPDATE_COM<n>
// (or --port) holding a URL such as rfc2217://HOST:PORT, on Windows as on
// POSIX. Its text when it holds "://" (whether or not it is a valid
// address: the link says why not), else "".
std::string ComPortNetworkAddress(int n);
inline bool IsNetworkAddressText(const std::string& strText) { return strText.find("://") != std::string::npos; }

// COM n may also stand for the port of the USB adapter with a given serial
// number: QRTUPDATE_COM<n> (or --port) holding usb:SERIAL. Adapters keep
// their serial number when replugged, while COM numbers and ttyUSB names
// move. ComPortPath(n) then gives the path of that adapter's port, or ""
// when there is not exactly one such adapter; ComPortUsbProblem(n) says
// why ("" when COM n stands for no USB serial number, or it was found).
inline constexpr char kUsbSerialPrefix[] = "usb:";
inline bool IsUsbSerialText(const std::string& strText) { return strText.rfind(kUsbSerialPrefix, 0) == 0; }
std::string ComPortUsbProblem(int n);

// The one port of a listing whose USB adapter reports serial number
// strSerial (compared without regard to case, as Windows keeps it in upper
// case): 1 and *pEntry when there is exactly one; 0 otherwise, and
// *pstrReason says so and names the serial numbers the listing holds.
int FindUsbSerialPort(const std::vector<ComPortEntry>& ports, const std::string& strSerial, ComPortEntry* pEntry,
                      std::string* pstrReason);

// Makes strPath the device behind COM n for this process and the processes
// it starts (--port): sets QRTUPDATE_COM<n>. Windows opens its own COM
// names whatever the variable says; it is set there too, for programs that
// read it.
void SetComPortPath(int n, const std::string& strPath);

// The COM ports 1 to 29 that are there now, sorted by number, one entry per
// number. Things the user should know about ports that are left out or
// cannot be opened (a device without a number, a variable that names
// nothing, a port the user has no permission for) go to pNotes, one line each.
// A COM port that stands for a network address is listed with that address.
std::vector<ComPortEntry> ListComPorts(std::vector<std::string>* pNotes);

}  // namespace platform
