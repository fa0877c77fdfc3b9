// End-to-end tests of QRT1220.exe under Wine: the program is started under
// the names a user gives it and driven from this process through its
// windows' own messages and real keyboard and mouse input. The script
// e2e.sh prepares the folders, maps COM3 to the simulator's pty and checks
// the simulator's record afterwards.
//
// Environment: QRT_E2E_EXE (the built QRT1220.exe), QRT_E2E_WORK (a folder
// with the sub-folders start, usb and update), QRT_E2E_SIM=1 when COM3 is
// the simulated device, QRT_E2E_SHOTS (optional folder for screenshots).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "WinDriver.h"

namespace {

using e2e::Program;

const char* const kQrtDevices[5] = {">>> Please select your power supply <<<", "QRT1220 (2-channel power supply)",
                                    "QRT1230 (3-channel power supply)", "QRT1430 (3-channel power supply)",
                                    "QRT1440 (4-channel power supply)"};
const char* const kZvnDevices[5] = {">>> Please select your power supply <<<", "- - -", "- - -", "- - -",
                                    "ZVN1440 (4-channel power supply)"};
const char* const kOwnerTalvo = "All rights reserved.\nTALVO Instruments";
const char* const kOwnerOp = "Sold under licence by\nOrvelt and Pannik";

std::string Exe() { return e2e::Env("QRT_E2E_EXE"); }
std::string Work(const char* sub) { return e2e::Env("QRT_E2E_WORK") + "\\" + sub; }

template <typename Pred>
bool WaitFor(Pred pred, DWORD dwTimeoutMs = 10000) {
  for (DWORD waited = 0; waited <= dwTimeoutMs; waited += 50) {
    if (pred()) return true;
    Sleep(50);
  }
  return false;
}

struct BrandCase {
  const char* name;
  const char* shot;
  const char* title;
  const char* brandLine;
  const char* const* devices;
  int selection;
  bool deviceListEnabled;
  bool qrtBanner;
  const char* updateCaption;
  const char* infoProgram;
  const char* infoFirmware;
  const char* infoOwner;
};

const BrandCase kBrands[3] = {
    {"QRT_Update_TALVO_FWV2.04.exe", "main-talvo", "TALVO QRT Update",
     "This Program is for updating firmware of TALVO QRT Series only!", kQrtDevices, 0, true, true,
     "Please select device ...", "QRT Update\nProgramm Version: 2.0",
     "Firmware Version QRT12x0: 2.04\nFirmware Version QRT14x0: 2.04", kOwnerTalvo},
    {"QRT_Update_OP_FWV2.04.exe", "main-op", "Orvelt&Pannik QRT Update",
     "This Program is for updating firmware of Orvelt and Pannik QRT Series only!", kQrtDevices, 0, true, true,
     "Please select device ...", "QRT Update\nProgramm Version: 2.0",
     "Firmware Version QRT12x0: 2.04\nFirmware Version QRT14x0: 2.04", kOwnerOp},
    {"QRT_Update_MURELL_FWV2.04.exe", "main-murell", "MURELL QRT Update",
     "This Program is for updating firmware of MURELL ZVN Series only!", kZvnDevices, 4, false, false,
     "UPDATE  FIRMWARE  OF  ZVN1440  TO  VERSION  2.04", "ZVN Update\nProgramm Version: 2.0",
     "Firmware Version ZVN1440: 2.04", kOwnerTalvo},
};

// The resources of the built executable, read as Windows reads them.
TEST(Resources, IconBannersStringVersionAndManifest) {
  std::string strExe = Exe();
  HMODULE mod = LoadLibraryExA(strExe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_TRUE(mod);

  // Icon group 128: 16, 32 and 48 pixels, each at 4, 8 and 24 bits.
  HRSRC hrsrc = FindResourceA(mod, MAKEINTRESOURCEA(128), reinterpret_cast<LPCSTR>(RT_GROUP_ICON));
  ASSERT_TRUE(hrsrc);
  const auto* dir = static_cast<const BYTE*>(LockResource(LoadResource(mod, hrsrc)));
  ASSERT_TRUE(dir);
  WORD count = *reinterpret_cast<const WORD*>(dir + 4);
  std::vector<std::pair<int, int>> entries;
  for (WORD i = 0; i < count; ++i) {
    const BYTE* e = dir + 6 + 14 * i;  // GRPICONDIRENTRY
    entries.emplace_back(e[0], *reinterpret_cast<const WORD*>(e + 6));
  }
  std::vector<std::pair<int, int>> expected = {{16, 4}, {16, 8}, {16, 24}, {32, 4}, {32, 8},
                                               {32, 24}, {48, 4}, {48, 8}, {48, 24}};
  EXPECT_EQ(entries, expected);

  // The banners: 552 x 32 at 24 bits per pixel.
  for (int id : {135, 138}) {
    HRSRC bmp = FindResourceA(mod, MAKEINTRESOURCEA(id), reinterpret_cast<LPCSTR>(RT_BITMAP));
    ASSERT_TRUE(bmp) << id;
    const auto* bih = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(mod, bmp)));
    EXPECT_EQ(bih->biWidth, 552);
    EXPECT_EQ(bih->biHeight, 32);
    EXPECT_EQ(bih->biBitCount, 24);
  }

  // String 101 with the u-umlaut as a character.
  wchar_t text[64] = {};
  EXPECT_GT(LoadStringW(mod, 101, text, 64), 0);
  EXPECT_EQ(std::wstring(text), L"&Info \u00FCber QRT1220...");

  // The manifest asks for the common controls version 6.
  HRSRC man = FindResourceA(mod, MAKEINTRESOURCEA(1), reinterpret_cast<LPCSTR>(RT_MANIFEST));
  ASSERT_TRUE(man);
  std::string manifest(static_cast<const char*>(LockResource(LoadResource(mod, man))), SizeofResource(mod, man));
  EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);
  EXPECT_NE(manifest.find("version=\"6.0.0.0\""), std::string::npos);
  FreeLibrary(mod);

  // Version block: 1.0.0.1, built as "QRT1220.exe".
  DWORD dummy = 0;
  DWORD size = GetFileVersionInfoSizeA(strExe.c_str(), &dummy);
  ASSERT_GT(size, 0u);
  std::vector<char> info(size);
  ASSERT_TRUE(GetFileVersionInfoA(strExe.c_str(), 0, size, info.data()));
  VS_FIXEDFILEINFO* ffi = nullptr;
  UINT len = 0;
  ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&ffi), &len));
  EXPECT_EQ(ffi->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(ffi->dwFileVersionLS, 0x00000001u);
  EXPECT_EQ(ffi->dwProductVersionMS, 0x00010000u);
  EXPECT_EQ(ffi->dwProductVersionLS, 0x00000001u);
  struct Translation {
    WORD wLanguage, wCodePage;
  }* tr = nullptr;
  ASSERT_TRUE(VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&tr), &len));
  char key[80];
  std::snprintf(key, sizeof key, "\\StringFileInfo\\%04x%04x\\OriginalFilename", tr->wLanguage, tr->wCodePage);
  char* name = nullptr;
  ASSERT_TRUE(VerQueryValueA(info.data(), key, reinterpret_cast<void**>(&name), &len));
  EXPECT_STREQ(name, "QRT1220.exe");

  // A GUI program: no console window opens with it.
  auto* image = reinterpret_cast<const BYTE*>(LoadLibraryExA(strExe.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES));
  ASSERT_TRUE(image);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(image + dos->e_lfanew);
  EXPECT_EQ(nt->OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
  FreeLibrary(reinterpret_cast<HMODULE>(const_cast<BYTE*>(image)));
}

TEST(StartUp, EachBrandPresentsItselfAndBeendenEndsTheProgram) {
  for (const BrandCase& b : kBrands) {
    SCOPED_TRACE(b.name);
    Program app(Exe(), Work("start"), b.name);
    ASSERT_TRUE(app.Started());
    HWND main = app.MainWindow();
    ASSERT_TRUE(main);
    EXPECT_EQ(e2e::Title(main), b.title);
    EXPECT_EQ(e2e::ItemText(main, 1019), b.brandLine);
    std::vector<std::string> devices = e2e::ComboItems(main, 1017);
    ASSERT_EQ(devices.size(), 5u);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(devices[i], b.devices[i]);
    EXPECT_EQ(e2e::ComboSelection(main, 1017), b.selection);
    EXPECT_EQ(e2e::ItemEnabled(main, 1017), b.deviceListEnabled);
    EXPECT_EQ(e2e::ItemVisible(main, 1020), b.qrtBanner);
    EXPECT_EQ(e2e::ItemVisible(main, 1021), !b.qrtBanner);
    EXPECT_EQ(e2e::ItemText(main, 1008), b.updateCaption);

    std::vector<std::string> interfaces = e2e::ComboItems(main, 1015);
    ASSERT_EQ(interfaces.size(), 31u);
    EXPECT_EQ(interfaces[0], "COM1");
    EXPECT_EQ(interfaces[28], "COM29");
    EXPECT_EQ(interfaces[29], "USB");
    EXPECT_EQ(interfaces[30], "GPIB");
    EXPECT_EQ(e2e::ComboSelection(main, 1015), 0);
    EXPECT_EQ(e2e::ComboItems(main, 1018).size(), 30u);
    EXPECT_EQ(e2e::ComboSelection(main, 1018), 29);
    EXPECT_FALSE(e2e::ItemEnabled(main, 1018));
    for (int id : {1006, 1007, 1009, 1010, 1011, 1000, 2}) EXPECT_FALSE(e2e::ItemVisible(main, id)) << id;
    EXPECT_EQ(e2e::ItemText(main, 1007), "test");
    EXPECT_EQ(e2e::ItemText(main, 1009), "test");
    EXPECT_EQ(e2e::ListLines(main, 1005).size(), 0u);

    // The keyboard focus starts on "Beenden", the first control.
    GUITHREADINFO gti = {};
    gti.cbSize = sizeof gti;
    ASSERT_TRUE(GetGUIThreadInfo(GetWindowThreadProcessId(main, nullptr), &gti));
    EXPECT_EQ(gti.hwndFocus, GetDlgItem(main, 1));

    e2e::Screenshot(main, b.shot);
    e2e::Click(main, 1);
    EXPECT_TRUE(app.WaitForExit(15000));
  }
}

TEST(StartUp, NameWithoutBrandIsRefused) {
  for (const char* name : {"QRT1220.exe", "talvo_fwv2.04.exe"}) {
    SCOPED_TRACE(name);
    Program app(Exe(), Work("start"), name);
    ASSERT_TRUE(app.Started());
    HWND box = app.WaitForDialog(app.AppName(), 30000);
    ASSERT_TRUE(box);
    EXPECT_EQ(e2e::BoxText(box), "FILE RENAMED!\nCLOSE PROGRAM!");
    // The main window is not shown while the box asks.
    for (HWND hwnd : app.Windows()) EXPECT_FALSE(GetDlgItem(hwnd, 1008));
    if (std::string(name) == "QRT1220.exe") e2e::Screenshot(box, "file-renamed");
    e2e::PressOk(box);
    EXPECT_TRUE(app.WaitForExit(15000));
  }
}

TEST(MainWindow, InterfaceChoiceRefusesUsb) {
  Program app(Exe(), Work("start"), "QRT_Update_OP_FWV2.04.exe");
  HWND main = app.MainWindow();
  ASSERT_TRUE(main);
  e2e::ComboChoose(main, 1015, 29);  // "USB"
  HWND box = app.WaitForDialog("", 10000);
  ASSERT_TRUE(box);
  EXPECT_EQ(e2e::Title(box), "QRT_Update_OP_FWV2.04");
  EXPECT_EQ(e2e::BoxText(box), "USB is not supported at the moment!");
  EXPECT_FALSE(IsWindowEnabled(main));  // the box is modal to the window
  e2e::PressOk(box);
  EXPECT_TRUE(WaitFor([&] { return e2e::ComboSelection(main, 1015) == 0 && IsWindowEnabled(main); }));
  EXPECT_EQ(e2e::ItemText(GetDlgItem(main, 1015), 1001), "COM1");  // the combo's edit field

  // COM10 and GPIB are taken without a word.
  for (int index : {9, 30}) {
    e2e::ComboChoose(main, 1015, index);
    Sleep(700);
    EXPECT_EQ(app.WaitForDialog("", 0), nullptr) << index;
    EXPECT_EQ(e2e::ComboSelection(main, 1015), index);
  }
  e2e::Click(main, 1);
  EXPECT_TRUE(app.WaitForExit(15000));
}

TEST(MainWindow, DeviceChoiceSetsTheUpdateCaption) {
  Program app(Exe(), Work("start"), "QRT_Update_TALVO_FWV2.04.exe");
  HWND main = app.MainWindow();
  ASSERT_TRUE(main);
  e2e::ComboChoose(main, 1017, 3);
  EXPECT_TRUE(WaitFor(
      [&] { return e2e::ItemText(main, 1008) == "UPDATE  FIRMWARE  OF  QRT1430  TO  VERSION  2.04"; }));
  e2e::ComboChoose(main, 1017, 0);
  EXPECT_TRUE(WaitFor([&] { return e2e::ItemText(main, 1008) == "Please select device ..."; }));
}

// True once the screen shows hwnd (or one of its children) at a point.
bool ShownAt(HWND hwnd, POINT pt) {
  return WaitFor([&] {
    HWND under = WindowFromPoint(pt);
    return under == hwnd || IsChild(hwnd, under);
  });
}

// The dropped-down list of a combo box of the program, once it shows.
HWND DroppedList(const Program& app) {
  HWND found = nullptr;
  WaitFor(
      [&] {
        for (HWND hwnd : app.Windows())
          if (e2e::ClassName(hwnd) == "ComboLBox") found = hwnd;
        return found != nullptr;
      },
      5000);
  return found;
}

// Quick clicks on a list's arrow, then on an entry, choose that entry, and
// the list drops down to the height its template gives: all five devices,
// about eight interfaces (not 30).
TEST(MainWindow, QuickClicksChooseEntriesOfListsAsHighAsTheirTemplates) {
  Program app(Exe(), Work("start"), "QRT_Update_TALVO_FWV2.04.exe");
  HWND main = app.MainWindow();
  ASSERT_TRUE(main);
  // An inactive window would take the first click for its activation.
  ASSERT_TRUE(WaitFor([&] {
    SetForegroundWindow(main);
    return GetForegroundWindow() == main;
  }));
  RECT client;
  GetClientRect(main, &client);
  const double pxPerDluY = client.bottom / 244.0;  // the template is 244 dialog units high

  // The five devices need less than the template's height, so the list
  // ends above it; the 31 interfaces fill it.
  struct Case {
    int id, templateHeight, index, visibleMin, visibleMax;
    bool fills;
  } cases[] = {{1017, 99, 4, 5, 5, false}, {1015, 82, 4, 7, 9, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    HWND combo = GetDlgItem(main, c.id);
    RECT rc;
    GetWindowRect(combo, &rc);
    POINT arrow = {rc.right - 6, (rc.top + rc.bottom) / 2};
    ASSERT_TRUE(ShownAt(combo, arrow));
    e2e::QuickClick(arrow.x, arrow.y);
    HWND list = DroppedList(app);
    ASSERT_TRUE(list);
    ASSERT_TRUE(WaitFor([&] { return IsWindowVisible(list) != FALSE; }));

    RECT lr;
    GetWindowRect(list, &lr);
    int entry = static_cast<int>(SendMessageA(list, LB_GETITEMHEIGHT, 0, 0));
    ASSERT_GT(entry, 0);
    int visible = (lr.bottom - lr.top) / entry;
    EXPECT_GE(visible, c.visibleMin);
    EXPECT_LE(visible, c.visibleMax);
    int templateBottom = rc.top + static_cast<int>(c.templateHeight * pxPerDluY);
    EXPECT_LE(lr.bottom, templateBottom + 2);
    if (c.fills) {
      EXPECT_GT(lr.bottom, templateBottom - entry - 2);
    }

    int top = static_cast<int>(SendMessageA(list, LB_GETTOPINDEX, 0, 0));
    POINT pt = {(lr.left + lr.right) / 2, lr.top + 1 + (c.index - top) * entry + entry / 2};
    ASSERT_TRUE(ShownAt(list, pt));
    e2e::QuickClick(pt.x, pt.y);
    EXPECT_TRUE(WaitFor([&] { return e2e::ComboSelection(main, c.id) == c.index && !IsWindowVisible(list); }));
  }
  EXPECT_TRUE(WaitFor(
      [&] { return e2e::ItemText(main, 1008) == "UPDATE  FIRMWARE  OF  QRT1440  TO  VERSION  2.04"; }));
  EXPECT_EQ(e2e::ItemText(GetDlgItem(main, 1015), 1001), "COM5");
  EXPECT_EQ(app.WaitForDialog("", 0), nullptr);  // no box: the handlers ran quietly
  e2e::Click(main, 1);
  EXPECT_TRUE(app.WaitForExit(15000));
}

TEST(InfoDialog, TextsPerBrandFromTheButtonAndTheSystemMenu) {
  for (const BrandCase& b : kBrands) {
    SCOPED_TRACE(b.name);
    Program app(Exe(), Work("start"), b.name);
    HWND main = app.MainWindow();
    ASSERT_TRUE(main);
    std::vector<std::string> texts[2];
    for (int way = 0; way < 2; ++way) {
      if (way == 0)
        e2e::Click(main, 1004);
      else
        PostMessageA(main, WM_SYSCOMMAND, 16, 0);  // "&Info über QRT1220..."
      HWND info = app.WaitForDialog("Info...", 10000);
      ASSERT_TRUE(info) << way;
      EXPECT_TRUE(WaitFor([&] { return e2e::ItemText(info, 1021) == b.infoProgram; }));
      EXPECT_EQ(e2e::ItemText(info, 1022), b.infoFirmware);
      EXPECT_EQ(e2e::ItemText(info, 1023), b.infoOwner);
      EXPECT_EQ(e2e::ItemText(info, 1), "OK");
      EXPECT_FALSE(IsWindowEnabled(main));
      texts[way] = {e2e::Title(info), e2e::ItemText(info, 1021), e2e::ItemText(info, 1022),
                    e2e::ItemText(info, 1023)};
      if (way == 0 && std::string(b.shot) == "main-op") e2e::Screenshot(info, "info-op");
      // Escape closes the dialog the first time, OK the second.
      if (way == 0)
        e2e::PressKey(info, VK_ESCAPE);
      else
        e2e::PressOk(info);
      EXPECT_TRUE(WaitFor([&] { return !IsWindow(info) && IsWindowEnabled(main); }));
    }
    EXPECT_EQ(texts[0], texts[1]);
    // The program goes on after the dialog.
    EXPECT_TRUE(IsWindow(main));
    e2e::Click(main, 1);
    EXPECT_TRUE(app.WaitForExit(15000));
  }
}

// F1 reaches the application's help, which tells that no help file is
// installed; the program goes on.
TEST(MainWindow, F1TellsThatNoHelpFileIsInstalled) {
  Program app(Exe(), Work("start"), "QRT_Update_OP_FWV2.04.exe");
  HWND main = app.MainWindow();
  ASSERT_TRUE(main);
  e2e::PressKey(main, VK_F1);
  HWND box = app.WaitForDialog("QRT_Update_OP_FWV2.04", 10000);
  ASSERT_TRUE(box);
  EXPECT_EQ(e2e::BoxText(box).rfind("No help file found:\n", 0), 0u);
  EXPECT_NE(e2e::BoxText(box).find("QRT_Update_OP_FWV2.04.hlp"), std::string::npos);
  e2e::PressOk(box);
  EXPECT_TRUE(WaitFor([&] { return IsWindowEnabled(main) != FALSE; }));
  e2e::Click(main, 1);
  EXPECT_TRUE(app.WaitForExit(15000));
}

TEST(Ending, EnterEscapeAndTheCloseBoxEndTheProgram) {
  for (int way = 0; way < 3; ++way) {
    SCOPED_TRACE(way);
    Program app(Exe(), Work("start"), "QRT_Update_OP_FWV2.04.exe");
    HWND main = app.MainWindow();
    ASSERT_TRUE(main);
    if (way == 0) {
      e2e::PressKey(main, VK_RETURN);
    } else if (way == 1) {
      e2e::PressKey(main, VK_ESCAPE);
    } else {
      ASSERT_TRUE(e2e::ClickCloseBox(main));
    }
    EXPECT_TRUE(app.WaitForExit(15000));
  }
}

TEST(UsbProbe, SendsTheCommandThroughTheLibraryAndIsQuietWithoutIt) {
  std::string strLog = Work("usb") + "\\calls.log";
  DeleteFileA(strLog.c_str());
  SetEnvironmentVariableA("QRT_FTD2XX_LOG", strLog.c_str());
  SetEnvironmentVariableA("QRT_FTD2XX_DEVICES", "FT232R USB UART|TALVO VX512");
  {
    Program app(Exe(), Work("usb"), "QRT_Update_OP_FWV2.04.exe");
    HWND main = app.MainWindow();
    ASSERT_TRUE(main);
    e2e::Click(main, 1006);
    std::vector<std::string> lines;
    EXPECT_TRUE(WaitFor([&] {
      lines.clear();
      std::ifstream in(strLog);
      for (std::string line; std::getline(in, line);) lines.push_back(line);
      return lines.size() >= 5;
    }));
    std::vector<std::string> expected = {
        "FT_ListDevices number pArg2=null flags=80000000",
        "FT_ListDevices all buffers=2 numDevs=2 flags=20000002",
        "FT_OpenEx \"TALVO VX512\" flags=00000002 opened",
        "FT_Write handle=device length=8 written=0 bytes=76 6F 6C 74 20 35 0A 00",
        "FT_Close handle=device",
    };
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(app.WaitForDialog("", 500), nullptr);
    e2e::Click(main, 1);
    EXPECT_TRUE(app.WaitForExit(15000));
  }
  {
    // No FTD2XX.dll in reach: the click does nothing at all.
    Program app(Exe(), Work("start"), "QRT_Update_OP_FWV2.04.exe");
    HWND main = app.MainWindow();
    ASSERT_TRUE(main);
    e2e::Click(main, 1006);
    Sleep(1000);
    EXPECT_EQ(app.WaitForDialog("", 0), nullptr);
    EXPECT_TRUE(e2e::Responds(main, 5000));
    e2e::Click(main, 1);
    EXPECT_TRUE(app.WaitForExit(15000));
  }
  SetEnvironmentVariableA("QRT_FTD2XX_LOG", nullptr);
  SetEnvironmentVariableA("QRT_FTD2XX_DEVICES", nullptr);
}

// The lines a complete QRT1440 update leaves in the list box, top first.
std::vector<std::string> Qrt1440UpdateLines() {
  std::vector<std::string> inserted;
  auto pages = [&](int n) {
    for (int p = 1; p <= n; ++p) inserted.push_back("Page " + std::to_string(p) + " of " + std::to_string(n) + " - OK!");
  };
  inserted.push_back("Previous firmware main controller: 02.030000");
  pages(350);
  inserted.push_back("Main controller update successful");
  for (int ch = 1; ch <= 4; ++ch) {
    inserted.push_back("Previous firmware CH" + std::to_string(ch) + ": 01.050000");
    pages(80);
    inserted.push_back("Channel controller update successful!");
  }
  return {inserted.rbegin(), inserted.rend()};
}

TEST(Update, HiddenModeMakesTheContainersAndTheUpdateRunsOverCom3) {
  if (e2e::Env("QRT_E2E_SIM") != "1") GTEST_SKIP() << "COM3 is not mapped to the simulator";
  {
    Program app(Exe(), Work("update"), "QRT_Update_WRAPIMAGES_OP_FWV2.04.exe");
    HWND main = app.MainWindow();
    ASSERT_TRUE(main);
    ASSERT_TRUE(e2e::ItemVisible(main, 1010));
    e2e::Click(main, 1010);
    HWND box = app.WaitForDialog("", 120000);
    ASSERT_TRUE(box);
    EXPECT_EQ(e2e::BoxText(box), "Enc file created successfully!");
    e2e::PressOk(box);
    e2e::Click(main, 1);
    EXPECT_TRUE(app.WaitForExit(15000));
  }

  Program app(Exe(), Work("update"), "QRT_Update_OP_FWV2.04.exe");
  HWND main = app.MainWindow();
  ASSERT_TRUE(main);
  e2e::ComboChoose(main, 1015, 2);  // COM3
  e2e::ComboChoose(main, 1017, 4);  // QRT1440
  ASSERT_TRUE(WaitFor(
      [&] { return e2e::ItemText(main, 1008) == "UPDATE  FIRMWARE  OF  QRT1440  TO  VERSION  2.04"; }));
  EXPECT_EQ(e2e::ComboSelection(main, 1015), 2);
  e2e::Click(main, 1008);

  // While the transfer runs the window keeps answering, and what the user
  // types is not acted on, neither now nor afterwards.
  ASSERT_TRUE(WaitFor([&] { return e2e::ListLines(main, 1005).size() >= 20; }, 60000));
  EXPECT_TRUE(e2e::Responds(main, 3000));
  EXPECT_FALSE(IsHungAppWindow(main));
  e2e::PressKey(main, VK_ESCAPE);
  e2e::PressKey(main, VK_RETURN);
  PostMessageA(main, WM_KEYDOWN, VK_ESCAPE, 0);
  Sleep(1500);
  EXPECT_TRUE(e2e::Responds(main, 3000));
  EXPECT_FALSE(IsHungAppWindow(main));
  // The window stays drawn while the pages go out: the banner is never
  // found erased to the dialog's background.
  int nBlank = 0;
  for (int i = 0; i < 40; ++i) {
    COLORREF c = e2e::ScreenPixel(main, 1020, 12, 16);
    if (GetBValue(c) < GetRValue(c) + 40) ++nBlank;
    Sleep(25);
  }
  EXPECT_EQ(nBlank, 0);
  e2e::Screenshot(main, "main-during-update");

  // Until the transfer ends, the window answers a sent message at every
  // moment, and the system never takes it for hung.
  DWORD dwSlowest = 0;
  int nHung = 0, nSamples = 0;
  while (!app.WaitForDialog("", 0) && !app.WaitForExit(0) && nSamples < 2400) {
    DWORD dwStart = GetTickCount();
    if (!e2e::Responds(main, 5000) || IsHungAppWindow(main)) ++nHung;
    dwSlowest = std::max(dwSlowest, GetTickCount() - dwStart);
    ++nSamples;
    Sleep(250);
  }
  EXPECT_EQ(nHung, 0);
  EXPECT_LT(dwSlowest, 5000u);
  std::printf("window answered %d samples during the transfer, slowest after %lu ms\n", nSamples,
              static_cast<unsigned long>(dwSlowest));

  HWND box = nullptr;
  std::vector<std::string> otherBoxes;
  for (int i = 0; i < 10 && !box; ++i) {
    HWND b = app.WaitForDialog("", 600000);
    if (!b) break;
    std::string text = e2e::BoxText(b);
    if (text == "Firmware successfully updated! Please restart device!") {
      box = b;
    } else {
      otherBoxes.push_back(text);
      e2e::PressOk(b);
      WaitFor([&] { return !IsWindow(b); });
    }
  }
  EXPECT_TRUE(otherBoxes.empty()) << otherBoxes.front();
  ASSERT_TRUE(box);
  EXPECT_EQ(e2e::Title(box), "QRT_Update_OP_FWV2.04");
  e2e::PressOk(box);
  ASSERT_TRUE(WaitFor([&] { return !IsWindow(box) && IsWindowEnabled(main); }));

  std::vector<std::string> lines = e2e::ListLines(main, 1005);
  std::vector<std::string> expected = Qrt1440UpdateLines();
  EXPECT_EQ(lines.size(), expected.size());
  EXPECT_EQ(lines, expected);

  // The keys pressed during the update were dropped: the window is still
  // there, with no dialog over it.
  Sleep(1500);
  EXPECT_TRUE(IsWindow(main));
  EXPECT_FALSE(app.WaitForExit(0));
  EXPECT_EQ(app.WaitForDialog("", 0), nullptr);
  e2e::Screenshot(main, "main-after-update");
  e2e::Click(main, 1);
  EXPECT_TRUE(app.WaitForExit(15000));
}

}  // namespace
