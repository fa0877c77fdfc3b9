// The console front end's contract, run in-process: what it prints, where,
// and the exit status.
#include <gtest/gtest.h>

#include <algorithm>

#include <sstream>

#include "app/UpdateApp.h"
#include "app/UpdateDialog.h"
#include "ui/console/lib/Console.h"

namespace {

struct ConsoleRun {
  int status = -1;
  std::string out, err;
};

ConsoleRun RunConsole(std::vector<std::string> args) {
  std::ostringstream out, err;
  ConsoleRun r;
  {
    ui::ConsoleFrontEnd console(out, err, false);
    r.status = console.Run(ui::ParseConsoleArgs(args));
  }
  g_strModulePathOverride.clear();
  fw::g_strAppName.clear();
  r.out = out.str();
  r.err = err.str();
  return r;
}

TEST(Console, ShowPrintsTheWindowStateInOrder) {
  ConsoleRun r = RunConsole({"--as", "QRT_Update_OP_FWV2.04.exe", "--device", "QRT1430", "show"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out,
            "title: Orvelt&Pannik QRT Update\n"
            "brand-line: This Program is for updating firmware of Orvelt and Pannik QRT Series only!\n"
            "banner: QRT\n"
            "interface: COM1\n"
            "device: QRT1430 (3-channel power supply)\n"
            "devices: >>> Please select your power supply <<< | QRT1220 (2-channel power supply) | "
            "QRT1230 (3-channel power supply) | QRT1430 (3-channel power supply) | QRT1440 (4-channel power supply)\n"
            "device-list: enabled\n"
            "update-button: UPDATE  FIRMWARE  OF  QRT1430  TO  VERSION  2.04\n"
            "create-enc-file: hidden\n");
}

// A second --interface names a second port (an update of several ports),
// so the choice made again after an action is the device's.
TEST(Console, OptionsActLikeChoosingInTheWindow) {
  ConsoleRun r = RunConsole({"--as", "QRT_Update_TALVO_FWV2.04.exe", "--interface", "GPIB", "--device", "2", "show",
                      "--device", "QRT1440", "show"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_NE(r.out.find("interface: GPIB\ndevice: QRT1230 (3-channel power supply)"), std::string::npos);
  EXPECT_NE(r.out.rfind("interface: GPIB\ndevice: QRT1440 (4-channel power supply)"), std::string::npos);
}

TEST(Console, InfoPrintsTheThreeTexts) {
  ConsoleRun r = RunConsole({"--as", "QRT_Update_MURELL_FWV2.04", "info"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("ZVN Update\nProgramm Version: 2.0\nFirmware Version ZVN1440: 2.04\n", 0), 0u);
}

TEST(Console, UsageErrors) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"--as", "QRT_Update_OP_FWV2.04"},                                   // no action
           {"--as", "QRT_Update_OP_FWV2.04", "fly"},                            // unknown action
           {"--interface", "COM30", "show"},                                    // no such entry
           {"--interface", "COM01", "show"},
           {"--as", "QRT_Update_OP_FWV2.04", "--device", "ZVN1440", "show"},   // not in this brand's list
           {"--as", "QRT_Update_OP_FWV2.04", "--device", "5", "show"},
           {"--as", "QRT_Update_MURELL_FWV2.04", "--device", "4", "show"},     // the list is disabled
           {"--as", "QRT_Update_OP_FWV2.04", "create"},                        // the button is hidden
           {"--as"},
       }) {
    ConsoleRun r = RunConsole(args);
    EXPECT_EQ(r.status, kExitUsage) << args.back();
    EXPECT_NE(r.err.find("usage: qrtupdate"), std::string::npos) << args.back();
  }
  // Refused before anything runs: no window state, no box, no update over
  // the COM1 that the window would have left chosen.
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"--as", "QRT_Update_OP_FWV2.04", "show", "--interface", "USB", "update"},
           {"--as", "QRT_Update_OP_FWV2.04", "show", "--port", "", "update"},
       }) {
    ConsoleRun r = RunConsole(args);
    EXPECT_EQ(r.status, kExitUsage) << args[3];
    EXPECT_EQ(r.out, "") << args[3];
    EXPECT_EQ(r.err.rfind("qrtupdate: ", 0), 0u) << args[3];
    EXPECT_EQ(r.err.find("(warning)"), std::string::npos) << args[3];
  }
  ConsoleRun help = RunConsole({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("exit status"), std::string::npos);
}

// Interface and model names in any letter case choose the same entries; a
// name that is none lists the ones there are.
TEST(Console, NamesInAnyCaseAndTheChoicesWhenRefused) {
  ConsoleRun com = RunConsole({"--as", "QRT_Update_OP_FWV2.04", "--interface", "com3", "--device", "qrt1440", "show"});
  EXPECT_EQ(com.status, 0) << com.err;
  EXPECT_NE(com.out.find("interface: COM3\ndevice: QRT1440 (4-channel power supply)"), std::string::npos) << com.out;
  ConsoleRun gpib = RunConsole({"--as", "QRT_Update_OP_FWV2.04", "--interface", "Gpib", "--device", "Qrt1220", "show"});
  EXPECT_EQ(gpib.status, 0) << gpib.err;
  EXPECT_NE(gpib.out.find("interface: GPIB\ndevice: QRT1220 (2-channel power supply)"), std::string::npos) << gpib.out;

  ConsoleRun badInterface = RunConsole({"--as", "QRT_Update_OP_FWV2.04", "--interface", "com30", "show"});
  EXPECT_EQ(badInterface.status, kExitUsage);
  EXPECT_EQ(badInterface.err.rfind("qrtupdate: unknown interface 'COM30': choose one of COM1..COM29, GPIB\n", 0), 0u)
      << badInterface.err;
  ConsoleRun usb = RunConsole({"--as", "QRT_Update_OP_FWV2.04", "--interface", "usb", "update"});
  EXPECT_EQ(usb.status, kExitUsage);
  EXPECT_NE(usb.err.find("USB is not supported"), std::string::npos) << usb.err;

  ConsoleRun badDevice = RunConsole({"--as", "QRT_Update_TALVO_FWV2.04", "--device", "zvn1440", "show"});
  EXPECT_EQ(badDevice.status, kExitUsage);
  EXPECT_EQ(badDevice.err.rfind("qrtupdate: no device 'zvn1440' in this brand's list: choose 0..4, QRT1220, QRT1230, "
                                "QRT1430, QRT1440\n",
                                0),
            0u)
      << badDevice.err;
}

TEST(Console, NameWithoutBrand) {
  ConsoleRun r = RunConsole({"--as", "talvo_fwv2.04.exe", "show"});
  EXPECT_EQ(r.status, kExitNoBrand);
  EXPECT_EQ(r.out, "");  // the program closed before any action
  const std::string strBox = "talvo_fwv2.04 (warning): FILE RENAMED!\nCLOSE PROGRAM!\n";
  EXPECT_EQ(r.err.substr(0, strBox.size()), strBox);
  // Then one line of the console's own: what the name lacks and how to give it.
  const std::string strWhy = r.err.substr(std::min(strBox.size(), r.err.size()));
  EXPECT_EQ(strWhy.rfind("qrtupdate: the name 'talvo_fwv2.04.exe' holds no brand word (TALVO, OP or MURELL)", 0), 0u)
      << strWhy;
  EXPECT_NE(strWhy.find("--as QRT_Update_OP_FWV2.04"), std::string::npos) << strWhy;
  EXPECT_EQ(std::count(strWhy.begin(), strWhy.end(), '\n'), 1) << strWhy;
}

// The window reads 1024 characters of its name; a brand word past them is
// no brand, for the window and for the exit status alike.
TEST(Console, OnlyTheFirst1024CharactersOfTheNameCount) {
  ConsoleRun inside = RunConsole({"--as", std::string(1022, 'x') + "OP", "show"});
  EXPECT_EQ(inside.status, 0);
  EXPECT_NE(inside.out.find("title: Orvelt&Pannik QRT Update"), std::string::npos);

  ConsoleRun beyond = RunConsole({"--as", std::string(1023, 'x') + "OP_FWV2.04", "show"});
  EXPECT_EQ(beyond.status, kExitNoBrand);
  EXPECT_EQ(beyond.out, "");
  EXPECT_NE(beyond.err.find("FILE RENAMED!"), std::string::npos);
}

}  // namespace
