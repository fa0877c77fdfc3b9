// The Win32 front end on real windows (under Wine in the cross build): the
// windows built from the template data, the system menu, icons, message
// boxes, the file dialog and the dropping of input during a command. Each
// test runs a dialog modally and inspects it from a timer inside the
// dialog's own message loop.
#include <gtest/gtest.h>

#include "ui/win32/win.h"  // windows.h without the macros that rename framework members

#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/InfoDialog.h"
#include "app/UpdateApp.h"
#include "app/UpdateDialog.h"
#include "app/res/templates.h"
#include "ui/win32/Win32FrontEnd.h"

namespace {

using ui::win32::Win32FrontEnd;

// Runs dlg modally and calls script with its window once the loop runs;
// the dialog is ended afterwards if the script left it open.
class Scripted {
 public:
  static int Run(fw::Dialog& dlg, std::function<void(HWND)> script) {
    s_pDlg = &dlg;
    s_script = std::move(script);
    SetTimer(nullptr, 0, 50, OnTimer);
    return fw::GetFrontEnd().RunModal(dlg);
  }

 private:
  static void CALLBACK OnTimer(HWND, UINT, UINT_PTR id, DWORD) {
    // A modal dialog is shown when its loop first runs out of messages; on a
    // busy machine the timer can come first. Wait for the window to be shown
    // (for at most about five seconds), so that the script sees it painted.
    HWND hwnd = static_cast<HWND>(Win32FrontEnd::WindowOf(*s_pDlg));
    if ((!hwnd || !IsWindowVisible(hwnd)) && ++s_nWaits < 100) return;
    s_nWaits = 0;
    KillTimer(nullptr, id);
    fw::Dialog* dlg = s_pDlg;
    auto script = std::move(s_script);
    script(static_cast<HWND>(Win32FrontEnd::WindowOf(*dlg)));
    if (!dlg->IsEnded()) dlg->EndDialog(IDCANCEL);
  }
  static fw::Dialog* s_pDlg;
  static std::function<void(HWND)> s_script;
  static int s_nWaits;
};
int Scripted::s_nWaits = 0;
fw::Dialog* Scripted::s_pDlg = nullptr;
std::function<void(HWND)> Scripted::s_script;

class Win32Window : public ::testing::Test {
 protected:
  void SetUp() override {
    fw::SetFrontEnd(&m_fe);
    m_fe.InitCommonControls();
    g_strModulePathOverride = "C:\\x\\QRT_Update_OP_FWV2.04.exe";
    fw::g_strAppName = "QRT_Update_OP_FWV2.04";
  }
  void TearDown() override {
    g_strModulePathOverride.clear();
    fw::SetFrontEnd(nullptr);
  }
  Win32FrontEnd m_fe;
};

std::string ClassOf(HWND hwnd) {
  char buf[64] = {};
  GetClassNameA(hwnd, buf, sizeof buf);
  return buf;
}

// Where the dialog manager puts a control: position and size are converted
// from dialog units each on its own.
RECT DialogUnits(HWND dlg, int x, int y, int cx, int cy) {
  RECT rc = {x, y, cx, cy};
  MapDialogRect(dlg, &rc);
  return {rc.left, rc.top, rc.left + rc.right, rc.top + rc.bottom};
}

RECT ChildRect(HWND dlg, HWND child) {
  RECT rc;
  GetWindowRect(child, &rc);
  MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT*>(&rc), 2);
  return rc;
}

const char* ExpectedClass(res::ControlKind kind) {
  switch (kind) {
    case res::ControlKind::PushButton:
    case res::ControlKind::DefPushButton:
      return "Button";
    case res::ControlKind::Progress:
      return "msctls_progress32";
    case res::ControlKind::ListBox:
      return "ListBox";
    case res::ControlKind::Edit:
      return "Edit";
    case res::ControlKind::ComboDropDown:
      return "ComboBox";
    default:
      return "Static";
  }
}

// Checks every control of a template against the window built from it:
// order (the tab order), class, position, visibility, enabling, tab stop.
void ExpectLayout(HWND hwnd, const res::DialogTemplate& t) {
  std::vector<HWND> children;
  for (HWND c = GetWindow(hwnd, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) children.push_back(c);
  ASSERT_EQ(children.size(), t.controls.size());
  for (std::size_t i = 0; i < children.size(); ++i) {
    const res::ControlTemplate& c = t.controls[i];
    HWND child = children[i];
    SCOPED_TRACE("control " + std::to_string(i) + " id " + std::to_string(c.id) + " " + c.text);
    EXPECT_EQ(GetDlgCtrlID(child), c.id);
    EXPECT_STRCASEEQ(ClassOf(child).c_str(), ExpectedClass(c.kind));
    LONG style = GetWindowLongA(child, GWL_STYLE);
    EXPECT_EQ((style & WS_DISABLED) != 0, (c.style & res::kDisabled) != 0);
    EXPECT_EQ((style & WS_TABSTOP) != 0, (c.style & res::kTabStop) != 0);
    RECT want = DialogUnits(hwnd, c.x, c.y, c.cx, c.cy);
    RECT got = ChildRect(hwnd, child);
    EXPECT_EQ(got.left, want.left);
    EXPECT_EQ(got.top, want.top);
    // A combo box's template height includes its dropped-down list, and a
    // picture takes the size of its image.
    if (c.kind != res::ControlKind::ComboDropDown && c.kind != res::ControlKind::Bitmap &&
        c.kind != res::ControlKind::Icon) {
      EXPECT_EQ(got.right, want.right);
      EXPECT_EQ(got.bottom, want.bottom);
    }
    if (c.kind == res::ControlKind::ComboDropDown) {
      COMBOBOXINFO cbi = {};
      cbi.cbSize = sizeof cbi;
      ASSERT_TRUE(GetComboBoxInfo(child, &cbi));
      EXPECT_EQ(got.right, want.right);
      EXPECT_NE(cbi.hwndItem, nullptr);  // a drop-down combo has its edit field
      EXPECT_EQ(SendMessageA(child, CB_GETCOUNT, 0, 0), static_cast<LRESULT>(c.initialList.size()));
      EXPECT_FALSE(style & CBS_SORT);
    }
    if (c.kind == res::ControlKind::ListBox) {
      EXPECT_TRUE(style & LBS_DISABLENOSCROLL);
      EXPECT_TRUE(style & LBS_NOINTEGRALHEIGHT);
      EXPECT_FALSE(style & LBS_SORT);
    }
  }
}

LOGFONTA FontOf(HWND hwnd) {
  LOGFONTA lf = {};
  auto font = reinterpret_cast<HFONT>(SendMessageA(hwnd, WM_GETFONT, 0, 0));
  if (font) GetObjectA(font, sizeof lf, &lf);
  return lf;
}

int PointsToHeight(HWND hwnd, int points) {
  HDC dc = GetDC(hwnd);
  int h = -MulDiv(points, GetDeviceCaps(dc, LOGPIXELSY), 72);
  ReleaseDC(hwnd, dc);
  return h;
}

TEST_F(Win32Window, MainWindowIsBuiltFromTemplate102) {
  UpdateDialog dlg;
  bool ran = false;
  Scripted::Run(dlg, [&](HWND hwnd) {
    ran = true;
    ASSERT_TRUE(hwnd);
    const res::DialogTemplate& t = *res::FindTemplate(IDD_QRTUPDATE_DIALOG);
    ExpectLayout(hwnd, t);

    RECT client;
    GetClientRect(hwnd, &client);
    RECT want = DialogUnits(hwnd, 0, 0, 312, 244);
    EXPECT_EQ(client.right, want.right);
    EXPECT_EQ(client.bottom, want.bottom);
    RECT frame;
    GetWindowRect(hwnd, &frame);
    EXPECT_EQ(frame.left, 0);  // template position 0, 0, not centred
    EXPECT_EQ(frame.top, 0);

    LONG style = GetWindowLongA(hwnd, GWL_STYLE);
    LONG exStyle = GetWindowLongA(hwnd, GWL_EXSTYLE);
    EXPECT_TRUE(style & WS_POPUP);
    EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME);
    EXPECT_TRUE(style & WS_VISIBLE);
    EXPECT_TRUE(exStyle & WS_EX_APPWINDOW);
    EXPECT_TRUE(exStyle & WS_EX_DLGMODALFRAME);

    LOGFONTA lf = FontOf(hwnd);
    EXPECT_STREQ(lf.lfFaceName, "Microsoft Sans Serif");
    EXPECT_EQ(lf.lfHeight, PointsToHeight(hwnd, 10));
    EXPECT_EQ(lf.lfWeight, FW_NORMAL);

    // The focus starts on the first control, "Beenden".
    EXPECT_EQ(GetFocus(), GetDlgItem(hwnd, IDOK));
    EXPECT_TRUE(GetWindowLongA(GetDlgItem(hwnd, IDOK), GWL_STYLE) & BS_DEFPUSHBUTTON);

    // System menu: a separator, then the Info entry with the u-umlaut as a
    // real character.
    HMENU menu = GetSystemMenu(hwnd, FALSE);
    int n = GetMenuItemCount(menu);
    ASSERT_GE(n, 2);
    EXPECT_EQ(GetMenuState(menu, n - 2, MF_BYPOSITION) & MF_SEPARATOR, static_cast<UINT>(MF_SEPARATOR));
    EXPECT_EQ(GetMenuItemID(menu, n - 1), 16u);
    wchar_t wide[64] = {};
    GetMenuStringW(menu, n - 1, wide, 64, MF_BYPOSITION);
    EXPECT_EQ(std::wstring(wide), L"&Info \u00FCber QRT1220...");

    // Icons: the window's, the one returned for dragging, and the banners.
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageA(hwnd, WM_GETICON, ICON_BIG, 0)), dlg.m_hIcon);
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageA(hwnd, WM_GETICON, ICON_SMALL, 0)), dlg.m_hIcon);
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageA(hwnd, WM_QUERYDRAGICON, 0, 0)), dlg.m_hIcon);
    EXPECT_NE(dlg.m_hIcon, nullptr);
    for (int id : {IDC_BANNER_QRT, IDC_BANNER_ZVN}) {
      auto bmp = reinterpret_cast<HBITMAP>(SendDlgItemMessageA(hwnd, id, STM_GETIMAGE, IMAGE_BITMAP, 0));
      ASSERT_TRUE(bmp) << id;
      BITMAP bm = {};
      GetObjectA(bmp, sizeof bm, &bm);
      EXPECT_EQ(bm.bmWidth, 552);
      EXPECT_EQ(bm.bmHeight, 32);
    }
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(hwnd, IDC_BANNER_QRT)));
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(hwnd, IDC_BANNER_ZVN)));
    EXPECT_EQ(SendDlgItemMessageA(hwnd, IDC_INTERFACE, CB_GETCOUNT, 0, 0), 31);
    EXPECT_EQ(SendDlgItemMessageA(hwnd, IDC_GPIBADDRESS, CB_GETCOUNT, 0, 0), 30);
    EXPECT_EQ(SendDlgItemMessageA(hwnd, IDC_GPIBADDRESS, CB_GETCURSEL, 0, 0), 29);

    // Minimised, the window reports it; restored, it is drawn normally.
    ShowWindow(hwnd, SW_MINIMIZE);
    EXPECT_TRUE(m_fe.IsIconic(dlg));
    UpdateWindow(hwnd);
    ShowWindow(hwnd, SW_RESTORE);
    EXPECT_FALSE(m_fe.IsIconic(dlg));

    // The minimised window's painting puts the icon where it is told. The
    // icon is opaque, so the window must show exactly what drawing it into
    // a bitmap gives.
    UpdateWindow(hwnd);
    fw::Size sz = m_fe.GetIconMetrics();
    InvalidateRect(hwnd, nullptr, FALSE);
    m_fe.PaintIconic(dlg, dlg.m_hIcon, 40, 60);
    HDC dc = GetDC(hwnd);
    HDC mem = CreateCompatibleDC(dc);
    HBITMAP bmp = CreateCompatibleBitmap(dc, sz.cx, sz.cy);
    HGDIOBJ old = SelectObject(mem, bmp);
    DrawIcon(mem, 0, 0, static_cast<HICON>(dlg.m_hIcon));
    int same = 0;
    for (int y = 0; y < sz.cy; ++y)
      for (int x = 0; x < sz.cx; ++x) same += GetPixel(dc, 40 + x, 60 + y) == GetPixel(mem, x, y);
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(hwnd, dc);
    EXPECT_EQ(same, sz.cx * sz.cy);
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  });
  EXPECT_TRUE(ran);
}

TEST_F(Win32Window, InfoDialogIsBuiltFromTemplate100) {
  g_nBrand = kBrandOp;
  g_strProgramVersion = "2.0";
  g_strFirmwareVersion = "2.04";
  InfoDialog dlg(nullptr);
  bool ran = false;
  Scripted::Run(dlg, [&](HWND hwnd) {
    ran = true;
    ASSERT_TRUE(hwnd);
    ExpectLayout(hwnd, *res::FindTemplate(IDD_ABOUTBOX));
    RECT client;
    GetClientRect(hwnd, &client);
    RECT want = DialogUnits(hwnd, 0, 0, 235, 77);
    EXPECT_EQ(client.right, want.right);
    EXPECT_EQ(client.bottom, want.bottom);
    LOGFONTA lf = FontOf(hwnd);
    EXPECT_EQ(lf.lfHeight, PointsToHeight(hwnd, 8));
    LONG style = GetWindowLongA(hwnd, GWL_STYLE);
    EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_FALSE(style & WS_MINIMIZEBOX);
    char title[64] = {};
    GetWindowTextA(hwnd, title, sizeof title);
    EXPECT_STREQ(title, "Info...");
    // The application icon, and the texts the paint handler sets.
    HWND icon = GetWindow(hwnd, GW_CHILD);
    EXPECT_NE(SendMessageA(icon, STM_GETICON, 0, 0), 0);
    UpdateWindow(hwnd);
    char text[256] = {};
    GetDlgItemTextA(hwnd, IDC_INFO_PROGRAM, text, sizeof text);
    EXPECT_STREQ(text, "QRT Update\nProgramm Version: 2.0");
    GetDlgItemTextA(hwnd, IDC_INFO_OWNER, text, sizeof text);
    EXPECT_STREQ(text, "Sold under licence by\nOrvelt and Pannik");
    EXPECT_TRUE(GetWindowLongA(GetDlgItem(hwnd, IDC_INFO_PROGRAM), GWL_STYLE) & SS_NOPREFIX);
    // A repaint leaves no region to paint behind (no endless WM_PAINT).
    InvalidateRect(hwnd, nullptr, TRUE);
    UpdateWindow(hwnd);
    RECT rc;
    EXPECT_FALSE(GetUpdateRect(hwnd, &rc, FALSE));
  });
  EXPECT_TRUE(ran);
}

// What a message box showed: found by a second thread while it is open.
struct BoxSeen {
  std::string caption, text;
  HWND owner = nullptr;
  HICON icon = nullptr;
  bool mainEnabled = true;
};

// EnumThreadWindows callbacks (__stdcall in the 32-bit build, so no lambdas).
BOOL CALLBACK FindMessageBox(HWND h, LPARAM p) {
  if (ClassOf(h) == "#32770" && IsWindowVisible(h) && GetDlgItem(h, 0xFFFF)) {
    *reinterpret_cast<HWND*>(p) = h;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK FindOtherDialog(HWND h, LPARAM p) {
  if (ClassOf(h) == "#32770" && IsWindowVisible(h) && !GetDlgItem(h, IDC_UPDATE)) {
    *reinterpret_cast<HWND*>(p) = h;
    return FALSE;
  }
  return TRUE;
}

// Runs act, reading and confirming the message box it opens.
BoxSeen SeeBox(HWND main, const std::function<void()>& act) {
  BoxSeen seen;
  DWORD tid = GetCurrentThreadId();
  std::atomic<bool> done{false};
  std::thread watcher([&] {
    while (!done) {
      HWND box = nullptr;
      EnumThreadWindows(tid, FindMessageBox, reinterpret_cast<LPARAM>(&box));
      if (box && box != main) {
        char buf[512] = {};
        GetWindowTextA(box, buf, sizeof buf);
        seen.caption = buf;
        SendMessageA(GetDlgItem(box, 0xFFFF), WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf));
        seen.text = buf;
        seen.owner = GetWindow(box, GW_OWNER);
        for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
          if ((GetWindowLongA(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            seen.icon = reinterpret_cast<HICON>(SendMessageA(c, STM_GETICON, 0, 0));
        seen.mainEnabled = main ? IsWindowEnabled(main) != FALSE : true;
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        return;
      }
      Sleep(20);
    }
  });
  act();
  done = true;
  watcher.join();
  return seen;
}

BoxSeen ShowAndRead(Win32FrontEnd& fe, fw::Dialog* owner, HWND main, const std::string& text,
                    const std::string& caption, fw::MsgIcon icon) {
  int result = 0;
  BoxSeen seen = SeeBox(main, [&] { result = fe.MessageBox(owner, text, caption, icon); });
  EXPECT_EQ(result, IDOK);
  return seen;
}

TEST_F(Win32Window, MessageBoxesCarryTitleIconAndOwner) {
  UpdateDialog dlg;
  Scripted::Run(dlg, [&](HWND hwnd) {
    BoxSeen warning = ShowAndRead(m_fe, &dlg, hwnd, "USB is not supported at the moment!", "QRT_Update_OP_FWV2.04",
                                  fw::MsgIcon::Warning);
    EXPECT_EQ(warning.caption, "QRT_Update_OP_FWV2.04");
    EXPECT_EQ(warning.text, "USB is not supported at the moment!");
    EXPECT_EQ(warning.owner, hwnd);
    EXPECT_EQ(warning.icon, LoadIconA(nullptr, IDI_EXCLAMATION));
    EXPECT_FALSE(warning.mainEnabled);

    BoxSeen info = ShowAndRead(m_fe, &dlg, hwnd, "Firmware successfully updated! Please restart device!",
                               "QRT_Update_OP_FWV2.04", fw::MsgIcon::Information);
    EXPECT_EQ(info.icon, LoadIconA(nullptr, IDI_ASTERISK));

    // The serial-port manager's boxes have no owner and their own caption,
    // yet the window takes no input while they are open.
    BoxSeen error = ShowAndRead(m_fe, nullptr, hwnd, "can not open port!", "Error", fw::MsgIcon::Error);
    EXPECT_EQ(error.caption, "Error");
    EXPECT_EQ(error.owner, nullptr);
    EXPECT_EQ(error.icon, LoadIconA(nullptr, IDI_HAND));
    EXPECT_FALSE(error.mainEnabled);
    EXPECT_TRUE(IsWindowEnabled(hwnd));
  });
}

TEST_F(Win32Window, InputGivenDuringACommandIsDropped) {
  UpdateDialog dlg;
  Scripted::Run(dlg, [&](HWND hwnd) {
    HWND info = GetDlgItem(hwnd, IDC_INFO);
    PostMessageA(hwnd, WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageA(info, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    PostMessageA(info, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
    PostMessageA(hwnd, WM_NCLBUTTONDOWN, HTCLOSE, 0);
    PostMessageA(hwnd, WM_APP, 0, 0);
    // What a transfer does after each page.
    m_fe.RepaintNow(dlg);
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_NOREMOVE));
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_NOREMOVE));
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK, PM_NOREMOVE));
    // Other messages stay for the dialog's loop.
    EXPECT_TRUE(PeekMessageA(&msg, hwnd, WM_APP, WM_APP, PM_REMOVE));
    RECT rc;
    EXPECT_FALSE(GetUpdateRect(hwnd, &rc, FALSE));  // drawn before returning

    // Input queued while a long command runs (here the USB probe, quiet
    // without its library) is dropped after it; a selection change, or any
    // other notification, keeps it: the press and release of a quick click
    // may both be waiting then.
    PostMessageA(hwnd, WM_KEYDOWN, VK_ESCAPE, 0);
    SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDC_DEVICE, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(GetDlgItem(hwnd, IDC_DEVICE)));
    SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDC_DEVICE, CBN_DROPDOWN),
                 reinterpret_cast<LPARAM>(GetDlgItem(hwnd, IDC_DEVICE)));
    EXPECT_TRUE(PeekMessageA(&msg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_NOREMOVE));
    SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDC_USBPROBE, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(hwnd, IDC_USBPROBE)));
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_NOREMOVE));
    EXPECT_FALSE(dlg.IsEnded());
  });
}

// F1 (WM_HELP) is the Help command of the application object; no help file
// ships with the program, and the user is told so.
TEST_F(Win32Window, HelpTellsThatNoHelpFileIsInstalled) {
  UpdateApp app;
  UpdateDialog dlg;
  app.m_pMainWnd = &dlg;
  Scripted::Run(dlg, [&](HWND hwnd) {
    HELPINFO hi = {sizeof hi, HELPINFO_WINDOW, IDC_UPDATE, GetDlgItem(hwnd, IDC_UPDATE), 0, {0, 0}};
    BoxSeen help = SeeBox(hwnd, [&] { SendMessageA(hwnd, WM_HELP, 0, reinterpret_cast<LPARAM>(&hi)); });
    EXPECT_EQ(help.text.rfind("No help file found:\n", 0), 0u) << help.text;
    EXPECT_NE(help.text.find(".hlp"), std::string::npos);
    EXPECT_EQ(help.owner, hwnd);
    EXPECT_FALSE(dlg.IsEnded());
  });
}

TEST_F(Win32Window, ChannelFileDialog) {
  EXPECT_EQ(ui::win32::FileDialogFilter("TALVO hex file(*.hex)|*.hex||"),
            std::string("TALVO hex file(*.hex)\0*.hex\0\0", 29));

  char dir[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, dir);
  std::string strFile = std::string(dir) + "\\channel_test.hex";
  if (std::FILE* f = std::fopen(strFile.c_str(), "w")) {
    std::fputs(":00000001FF\n", f);
    std::fclose(f);
  }
  UpdateDialog dlg;
  Scripted::Run(dlg, [&](HWND hwnd) {
    for (int round = 0; round < 2; ++round) {
      DWORD tid = GetCurrentThreadId();
      std::atomic<bool> done{false};
      std::thread watcher([&] {
        for (int i = 0; i < 400 && !done; ++i) {
          HWND open = nullptr;
          EnumThreadWindows(tid, FindOtherDialog, reinterpret_cast<LPARAM>(&open));
          if (open) {
            Sleep(300);
            if (round == 0) {
              // Type the file's name and press Open.
              HWND edit = GetDlgItem(open, 0x47C);  // the file name box
              if (!edit) edit = GetDlgItem(open, 0x480);
              SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("channel_test.hex"));
              PostMessageA(open, WM_COMMAND, IDOK, 0);
            } else {
              PostMessageA(open, WM_COMMAND, IDCANCEL, 0);
            }
            return;
          }
          Sleep(50);
        }
      });
      SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDC_CHANNELFILE_BTN, BN_CLICKED),
                   reinterpret_cast<LPARAM>(GetDlgItem(hwnd, IDC_CHANNELFILE_BTN)));
      done = true;
      watcher.join();
      char text[MAX_PATH] = {};
      GetDlgItemTextA(hwnd, IDC_CHANNELFILE, text, sizeof text);
      if (round == 0) {
        EXPECT_STRCASEEQ(dlg.m_strChannelFile.c_str(), strFile.c_str());
        EXPECT_STRCASEEQ(text, strFile.c_str());
      } else {
        EXPECT_EQ(dlg.m_strChannelFile, "");  // cancelled
        EXPECT_STREQ(text, "");
      }
    }
  });
  DeleteFileA(strFile.c_str());
}

}  // namespace
