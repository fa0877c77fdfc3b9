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
#include <vector>

namespace platform {

struct ComPortEntry {
  int n = 0;                   // COM port number, 1..29
  std::string strPath;         // what the program opens for it
  std::string strDescription;  // what the system knows of the device
};

// The variable that names the device behind COM n: QRTUPDATE_COM<n>.
inline constexpr char kComPortVariable[] = "QRTUPDATE_COM";
inline std::string ComPortVariable(int n) { return kComPortVariable + std::to_string(n); }

// The device COM port n opens (POSIX), or the Windows device name of COM n.
std::string ComPortPath(int n);

// Makes strPath the device behind COM n for this process and the processes
// it starts (--port): sets QRTUPDATE_COM<n>. Windows opens its own COM
// names whatever the variable says; it is set there too, for programs that
// read it.
void SetComPortPath(int n, const std::string& strPath);

// The COM ports 1 to 29 that are there now, sorted by number, one entry per
// number. Things the user should know about ports that are left out or
// cannot be opened (a device without a number, a variable that names
// nothing, a port the user has no permission for) go to pNotes, one line each.
std::vector<ComPortEntry> ListComPorts(std::vector<std::string>* pNotes);

}  // namespace platform
