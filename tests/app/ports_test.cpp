// `qrtupdate ports` and the COM numbers on Linux, against a test tree in
// place of /dev and /sys (QRTUPDATE_DEVICE_ROOT) laid out as the kernel lays
// out its serial devices; the device nodes are links to real pseudo-terminals.
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "link/serialport.h"
#include "platform/ports.h"
#include "ui/console/lib/Console.h"

namespace {

namespace fs = std::filesystem;

struct ConsoleRun {
  int status = -1;
  std::string out, err;
};

ConsoleRun RunConsole(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  ConsoleRun r;
  ui::ConsoleFrontEnd console(out, err, false);
  r.status = console.Run(ui::ParseConsoleArgs(args));
  r.out = out.str();
  r.err = err.str();
  return r;
}

struct Pty {
  Pty() {
    char szName[256] = {0};
    if (openpty(&fdMaster, &fdSlave, szName, nullptr, nullptr) == 0) strSlave = szName;
  }
  ~Pty() {
    if (fdMaster >= 0) close(fdMaster);
    if (fdSlave >= 0) close(fdSlave);
  }
  int fdMaster = -1, fdSlave = -1;
  std::string strSlave;
};

// A /dev and /sys of our own, and the variables the listing reads, for the
// length of a test.
struct DeviceTree {
  DeviceTree() {
    root = fs::temp_directory_path() / ("qrt_ports_" + std::to_string(getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "dev");
    fs::create_directories(root / "sys/class/tty");
    setenv("QRTUPDATE_DEVICE_ROOT", root.c_str(), 1);
  }
  ~DeviceTree() {
    unsetenv("QRTUPDATE_DEVICE_ROOT");
    for (int n : {3, 5, 10, 20}) unsetenv(("QRTUPDATE_COM" + std::to_string(n)).c_str());
    fs::remove_all(root);
  }
  fs::path Dev(const std::string& strRel) { return root / "sys/devices" / strRel; }
  void Text(const fs::path& path, const std::string& str) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << str << "\n";
  }
  void Driver(const std::string& strDevice, const std::string& strBus, const std::string& strDriver) {
    fs::path drv = root / "sys/bus" / strBus / "drivers" / strDriver;
    fs::create_directories(drv);
    fs::create_directories(Dev(strDevice));
    fs::create_directory_symlink(drv, Dev(strDevice) / "driver");
    fs::path sub = root / "sys/bus" / strBus;
    fs::create_directory_symlink(sub, Dev(strDevice) / "subsystem");
  }
  void Usb(const std::string& strDevice, const std::string& strIds, const std::string& strMaker,
           const std::string& strProduct, const std::string& strSerial) {
    Text(Dev(strDevice) / "idVendor", strIds.substr(0, 4));
    Text(Dev(strDevice) / "idProduct", strIds.substr(5));
    if (!strMaker.empty()) Text(Dev(strDevice) / "manufacturer", strMaker);
    if (!strProduct.empty()) Text(Dev(strDevice) / "product", strProduct);
    if (!strSerial.empty()) Text(Dev(strDevice) / "serial", strSerial);
  }
  // tty strName belonging to device strDevice; its node in /dev links to
  // strNode (none when empty); nUartType writes the UART type sysfs shows.
  void Tty(const std::string& strName, const std::string& strDevice, const std::string& strNode, int nUartType = -1) {
    fs::path tty = Dev(strDevice) / "tty" / strName;
    fs::create_directories(tty);
    fs::create_directory_symlink(Dev(strDevice), tty / "device");
    fs::create_directory_symlink(fs::path("../../devices") / strDevice / "tty" / strName,
                                 root / "sys/class/tty" / strName);
    if (nUartType >= 0) Text(tty / "type", std::to_string(nUartType));
    if (!strNode.empty()) fs::create_symlink(strNode, root / "dev" / strName);
  }
  fs::path root;
};

}  // namespace

TEST(Ports, VariablesFirstThenTheSerialDevicesByNumber) {
  Pty adapter, other;
  ASSERT_FALSE(adapter.strSlave.empty());
  DeviceTree t;
  const std::string r = t.root.string();
  // A placeholder UART the kernel keeps (type 0), and a real one behind the
  // serial core's port and controller devices.
  t.Driver("platform/serial8250/serial8250:0/serial8250:0.0", "serial-base", "port");
  t.Tty("ttyS0", "platform/serial8250/serial8250:0/serial8250:0.0", other.strSlave, 0);
  t.Driver("pnp0/00:01", "pnp", "serial");
  t.Driver("pnp0/00:01/00:01:0", "serial-base", "ctrl");
  t.Driver("pnp0/00:01/00:01:0/00:01:0.0", "serial-base", "port");
  t.Tty("ttyS1", "pnp0/00:01/00:01:0/00:01:0.0", other.strSlave, 4);
  // USB adapters: the usb-serial port below the interface below the device;
  // a modem-class one whose tty belongs to the interface.
  const std::string usb = "pci0000:00/0000:00:14.0/usb1/";
  t.Usb(usb + "1-1", "0403:6001", "FTDI", "FT232R USB UART", "A50285BI");
  t.Driver(usb + "1-1/1-1:1.0/ttyUSB0", "usb-serial", "ftdi_sio");
  t.Tty("ttyUSB0", usb + "1-1/1-1:1.0/ttyUSB0", adapter.strSlave);
  t.Usb(usb + "1-2", "2341:0043", "Arduino (www.arduino.cc)", "", "");
  t.Driver(usb + "1-2/1-2:1.0", "usb", "cdc_acm");
  t.Tty("ttyACM0", usb + "1-2/1-2:1.0", other.strSlave);
  t.Usb(usb + "1-3", "1a86:7523", "", "USB Serial", "");
  t.Driver(usb + "1-3/1-3:1.0", "usb", "cdc_acm");
  t.Tty("ttyACM1", usb + "1-3/1-3:1.0", other.strSlave);
  // Beyond the numbers, and one that has gone from /dev.
  t.Tty("ttyUSB12", usb + "1-4/1-4:1.0/ttyUSB12", other.strSlave);
  t.Tty("ttyUSB1", usb + "1-5/1-5:1.0/ttyUSB1", "");
  setenv("QRTUPDATE_COM3", other.strSlave.c_str(), 1);
  setenv("QRTUPDATE_COM5", (r + "/nothing").c_str(), 1);
  setenv("QRTUPDATE_COM20", other.strSlave.c_str(), 1);

  ConsoleRun run = RunConsole({"ports"});  // no brand in the name needed
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "COM2\t" + r + "/dev/ttyS1\t16550A UART (driver serial)\n"
                     "COM3\t" + other.strSlave + "\tQRTUPDATE_COM3\n"
                     "COM10\t" + r + "/dev/ttyUSB0\tFTDI FT232R USB UART (USB 0403:6001, serial A50285BI, driver ftdi_sio)\n"
                     "COM20\t" + other.strSlave + "\tQRTUPDATE_COM20\n"
                     "COM21\t" + r + "/dev/ttyACM1\tUSB Serial (USB 1a86:7523, driver cdc_acm)\n");
  EXPECT_EQ(run.err, "qrtupdate: COM5: QRTUPDATE_COM5=" + r + "/nothing is no device\n"
                     "qrtupdate: " + r + "/dev/ttyACM0: COM20 is QRTUPDATE_COM20; use --port " + r + "/dev/ttyACM0\n"
                     "qrtupdate: " + r + "/dev/ttyUSB12: no COM number; use --port " + r + "/dev/ttyUSB12\n");

  // The adapter is reached by its number alone, and --port still wins.
  SerialPort sp;
  ASSERT_EQ(1, sp.OpenPort(10));
  EXPECT_EQ(1, sp.WriteString(10, "FWU0"));
  char buf[8] = {0};
  ASSERT_EQ(4, read(adapter.fdMaster, buf, sizeof buf));
  EXPECT_EQ("FWU0", std::string(buf, 4));
  sp.ClosePort(10);
  run = RunConsole({"--interface", "COM10", "--port", other.strSlave, "ports"});
  EXPECT_NE(run.out.find("COM10\t" + other.strSlave + "\tQRTUPDATE_COM10\n"), std::string::npos) << run.out;
}

TEST(Ports, NothingThereIsAnEmptyListAndNoError) {
  DeviceTree t;
  ConsoleRun run = RunConsole({"ports"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "");
}

// What a device says of itself reaches the listing only as plain text, a
// FIFO among its attributes cannot stop it, and a unit name with a leading
// zero is no COM number.
TEST(Ports, HostileDeviceStringsAndNamesAreHarmless) {
  Pty adapter, other;
  ASSERT_FALSE(adapter.strSlave.empty());
  DeviceTree t;
  const std::string r = t.root.string();
  const std::string usb = "pci0000:00/0000:00:14.0/usb1/";
  // Terminal escapes, a TAB, a C1 control (CSI as UTF-8), a stray byte; the
  // serial number is a FIFO nobody writes.
  t.Usb(usb + "1-1", "0403:6001", "Evil\x1b[2J\tCo", "Cable \xc2\x9b" "31m \xff caf\xc3\xa9", "");
  ASSERT_EQ(0, mkfifo((t.Dev(usb + "1-1") / "serial").c_str(), 0600));
  t.Driver(usb + "1-1/1-1:1.0/ttyUSB0", "usb-serial", "ftdi_sio");
  t.Tty("ttyUSB0", usb + "1-1/1-1:1.0/ttyUSB0", adapter.strSlave);
  t.Tty("ttyUSB01", usb + "1-2/1-2:1.0/ttyUSB01", other.strSlave);

  ConsoleRun run = RunConsole({"ports"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "COM10\t" + r + "/dev/ttyUSB0\tEvil?[2J?Co Cable ?31m ? caf\xc3\xa9 (USB 0403:6001, driver ftdi_sio)\n");
  EXPECT_EQ(run.err, "qrtupdate: " + r + "/dev/ttyUSB01: no COM number; use --port " + r + "/dev/ttyUSB01\n");
}

// `ports --json`: one "port" line per port with the fields sysfs knows, the
// stream's "result" last; hostile device strings stay valid JSON.
TEST(Ports, JsonOnePortPerLineWithItsFields) {
  Pty adapter, other;
  ASSERT_FALSE(adapter.strSlave.empty());
  DeviceTree t;
  const std::string r = t.root.string();
  const std::string usb = "pci0000:00/0000:00:14.0/usb1/";
  t.Usb(usb + "1-1", "0403:6001", "FTDI", "FT232R \"USB\" UART \xff", "A50285BI");
  t.Driver(usb + "1-1/1-1:1.0/ttyUSB0", "usb-serial", "ftdi_sio");
  t.Tty("ttyUSB0", usb + "1-1/1-1:1.0/ttyUSB0", adapter.strSlave);
  t.Driver("pnp0/00:01", "pnp", "serial");
  t.Tty("ttyS1", "pnp0/00:01", other.strSlave, 4);

  ConsoleRun run = RunConsole({"ports", "--json"});
  EXPECT_EQ(run.status, 0);
  std::istringstream lines(run.out);
  std::vector<nlohmann::json> events;
  for (std::string strLine; std::getline(lines, strLine);) events.push_back(nlohmann::json::parse(strLine));
  ASSERT_EQ(events.size(), 3u) << run.out;
  const nlohmann::json uart = {{"event", "port"},
                               {"com", "COM2"},
                               {"path", r + "/dev/ttyS1"},
                               {"description", "16550A UART (driver serial)"},
                               {"driver", "serial"}};
  EXPECT_EQ(events[0], uart);
  EXPECT_EQ(events[1]["com"], "COM10");
  EXPECT_EQ(events[1]["vid"], "0403");
  EXPECT_EQ(events[1]["pid"], "6001");
  EXPECT_EQ(events[1]["manufacturer"], "FTDI");
  EXPECT_EQ(events[1]["serial"], "A50285BI");
  EXPECT_EQ(events[1]["driver"], "ftdi_sio");
  EXPECT_EQ(events[1]["product"].get<std::string>().rfind("FT232R \"USB\" UART ", 0), 0u);
  EXPECT_EQ(events[2]["event"], "result");
  EXPECT_EQ(events[2]["code"], 0);
}

// usb:SERIAL in --port or QRTUPDATE_COM<n>: the adapter with that serial
// number wherever the kernel put it; none or two such: no path, and the
// reason names the serial numbers there are.
TEST(Ports, UsbSerialNumberChoosesTheAdapter) {
  Pty first, second, third;
  ASSERT_FALSE(third.strSlave.empty());
  DeviceTree t;
  const std::string r = t.root.string();
  const std::string usb = "pci0000:00/0000:00:14.0/usb1/";
  const char* const aSerials[] = {"QRTA0001", "QRTB0002", "QRTB0002"};
  const Pty* const aPtys[] = {&first, &second, &third};
  for (int i = 0; i < 3; ++i) {
    const std::string strDev = usb + "1-" + std::to_string(i + 1);
    const std::string strTty = "ttyUSB" + std::to_string(i == 2 ? 14 : i);  // the third has no COM number
    t.Usb(strDev, "0403:6001", "FTDI", "FT232R USB UART", aSerials[i]);
    t.Driver(strDev + "/1-1:1.0/" + strTty, "usb-serial", "ftdi_sio");
    t.Tty(strTty, strDev + "/1-1:1.0/" + strTty, aPtys[i]->strSlave);
  }

  setenv("QRTUPDATE_COM3", "usb:qrta0001", 1);  // case does not matter
  EXPECT_EQ(platform::ComPortPath(3), r + "/dev/ttyUSB0");
  EXPECT_EQ(platform::ComPortUsbProblem(3), "");
  SerialPort sp;
  ASSERT_EQ(1, sp.OpenPort(3));
  EXPECT_EQ(1, sp.WriteString(3, "FWU0"));
  char buf[8] = {0};
  ASSERT_EQ(4, read(first.fdMaster, buf, sizeof buf));
  sp.ClosePort(3);
  ConsoleRun run = RunConsole({"ports"});
  EXPECT_NE(run.out.find("COM3\t" + r + "/dev/ttyUSB0\tQRTUPDATE_COM3=usb:qrta0001: FTDI FT232R"), std::string::npos)
      << run.out;

  const std::string strThere = "serial numbers here: QRTA0001 (COM10), QRTB0002 (COM11), QRTB0002 (" + r +
                               "/dev/ttyUSB14)";
  setenv("QRTUPDATE_COM3", "usb:QRTC0003", 1);
  EXPECT_EQ(platform::ComPortPath(3), "");
  EXPECT_EQ(platform::ComPortUsbProblem(3), "no USB adapter with serial number QRTC0003 is plugged in; " + strThere);
  EXPECT_EQ(0, sp.OpenPort(3));
  setenv("QRTUPDATE_COM3", "usb:QRTB0002", 1);
  EXPECT_EQ(platform::ComPortPath(3), "");
  EXPECT_EQ(platform::ComPortUsbProblem(3),
            "2 USB adapters report serial number QRTB0002: choose the port by its path instead; " + strThere);
  run = RunConsole({"ports"});
  EXPECT_EQ(run.out.find("COM3\t"), std::string::npos) << run.out;
  EXPECT_NE(run.err.find("qrtupdate: COM3: QRTUPDATE_COM3=usb:QRTB0002: 2 USB adapters"), std::string::npos)
      << run.err;
}
