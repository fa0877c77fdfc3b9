#include "WinDriver.h"

#include <cstdio>
#include <cstdlib>

namespace e2e {

namespace {

struct EnumContext {
  DWORD pid;
  std::vector<HWND>* windows;
};

BOOL CALLBACK CollectWindows(HWND hwnd, LPARAM lParam) {
  auto* ctx = reinterpret_cast<EnumContext*>(lParam);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid == ctx->pid && IsWindowVisible(hwnd)) ctx->windows->push_back(hwnd);
  return TRUE;
}

LRESULT Send(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(hwnd, msg, wParam, lParam, SMTO_NORMAL, 20000, &result)) return -1;
  return static_cast<LRESULT>(result);
}

// Texts are read in UTF-16 (the form Wine hands across processes intact)
// and turned into the program's 8-bit texts.
std::string Narrow(const wchar_t* text) {
  char buf[4096] = {};
  WideCharToMultiByte(CP_ACP, 0, text, -1, buf, sizeof buf - 1, nullptr, nullptr);
  return buf;
}

std::string ReadText(HWND hwnd, UINT msg, WPARAM wParam) {
  wchar_t buf[2048] = {};
  DWORD_PTR result = 0;
  if (msg == WM_GETTEXT) wParam = sizeof buf / sizeof buf[0];
  if (!SendMessageTimeoutW(hwnd, msg, wParam, reinterpret_cast<LPARAM>(buf), SMTO_NORMAL, 20000, &result)) return {};
  return Narrow(buf);
}

}  // namespace

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

Program::Program(const std::string& strExe, const std::string& strDir, const std::string& strName)
    : m_strName(strName) {
  std::string strPath = strDir + "\\" + strName;
  if (!CopyFileA(strExe.c_str(), strPath.c_str(), FALSE)) return;
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  std::string strCommand = "\"" + strPath + "\"";
  if (!CreateProcessA(strPath.c_str(), strCommand.data(), nullptr, nullptr, FALSE, 0, nullptr, strDir.c_str(), &si,
                      &m_pi))
    m_pi = {};
}

Program::~Program() {
  if (!m_pi.hProcess) return;
  if (WaitForSingleObject(m_pi.hProcess, 0) == WAIT_TIMEOUT) {
    TerminateProcess(m_pi.hProcess, 1);
    WaitForSingleObject(m_pi.hProcess, 5000);
  }
  CloseHandle(m_pi.hThread);
  CloseHandle(m_pi.hProcess);
}

std::string Program::AppName() const {
  std::string s = m_strName;
  if (s.size() > 4 && s.compare(s.size() - 4, 4, ".exe") == 0) s.resize(s.size() - 4);
  return s;
}

std::vector<HWND> Program::Windows() const {
  std::vector<HWND> windows;
  EnumContext ctx{m_pi.dwProcessId, &windows};
  EnumWindows(CollectWindows, reinterpret_cast<LPARAM>(&ctx));
  return windows;
}

HWND Program::MainWindow(DWORD dwTimeoutMs) {
  if (m_hwndMain && IsWindow(m_hwndMain)) return m_hwndMain;
  for (DWORD waited = 0; waited <= dwTimeoutMs; waited += 50) {
    for (HWND hwnd : Windows())
      if (GetDlgItem(hwnd, 1008)) return m_hwndMain = hwnd;
    if (WaitForSingleObject(m_pi.hProcess, 50) == WAIT_OBJECT_0) return nullptr;
  }
  return nullptr;
}

bool Program::WaitForExit(DWORD dwTimeoutMs) {
  return m_pi.hProcess && WaitForSingleObject(m_pi.hProcess, dwTimeoutMs) == WAIT_OBJECT_0;
}

HWND Program::WaitForDialog(const std::string& strTitle, DWORD dwTimeoutMs, HWND hwndExclude) {
  for (DWORD waited = 0; waited <= dwTimeoutMs; waited += 50) {
    for (HWND hwnd : Windows()) {
      if (hwnd == m_hwndMain || hwnd == hwndExclude || GetDlgItem(hwnd, 1008)) continue;
      if (ClassName(hwnd) != "#32770") continue;
      if (strTitle.empty() || Title(hwnd) == strTitle) return hwnd;
    }
    Sleep(50);
  }
  return nullptr;
}

std::string ClassName(HWND hwnd) {
  char buf[256] = {};
  GetClassNameA(hwnd, buf, sizeof buf);
  return buf;
}

std::string Title(HWND hwnd) {
  wchar_t buf[1024] = {};
  GetWindowTextW(hwnd, buf, 1024);
  return Narrow(buf);
}

std::string ItemText(HWND hwndDlg, int id) {
  HWND item = GetDlgItem(hwndDlg, id);
  if (!item) return "<no control>";
  return ReadText(item, WM_GETTEXT, 0);
}

bool ItemVisible(HWND hwndDlg, int id) {
  HWND item = GetDlgItem(hwndDlg, id);
  return item && (GetWindowLongA(item, GWL_STYLE) & WS_VISIBLE) != 0;
}

bool ItemEnabled(HWND hwndDlg, int id) {
  HWND item = GetDlgItem(hwndDlg, id);
  return item && IsWindowEnabled(item);
}

// Every entry of a combo or list box, read with its count and text messages.
static std::vector<std::string> ItemTexts(HWND hwndDlg, int id, UINT countMsg, UINT textMsg) {
  std::vector<std::string> texts;
  HWND item = GetDlgItem(hwndDlg, id);
  LRESULT n = Send(item, countMsg, 0, 0);
  for (LRESULT i = 0; i < n; ++i) texts.push_back(ReadText(item, textMsg, static_cast<WPARAM>(i)));
  return texts;
}

std::vector<std::string> ComboItems(HWND hwndDlg, int id) { return ItemTexts(hwndDlg, id, CB_GETCOUNT, CB_GETLBTEXT); }

int ComboSelection(HWND hwndDlg, int id) {
  return static_cast<int>(Send(GetDlgItem(hwndDlg, id), CB_GETCURSEL, 0, 0));
}

std::vector<std::string> ListLines(HWND hwndDlg, int id) { return ItemTexts(hwndDlg, id, LB_GETCOUNT, LB_GETTEXT); }

void ComboChoose(HWND hwndDlg, int id, int index) {
  HWND item = GetDlgItem(hwndDlg, id);
  Send(item, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  PostMessageA(hwndDlg, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(item));
}

void Click(HWND hwndDlg, int id) {
  HWND item = GetDlgItem(hwndDlg, id);
  // A hidden button cannot be pressed with the mouse; its click is the
  // notification the dialog receives.
  if (item && (GetWindowLongA(item, GWL_STYLE) & WS_VISIBLE))
    PostMessageA(item, BM_CLICK, 0, 0);
  else
    PostMessageA(hwndDlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(item));
}

std::string BoxText(HWND hwndBox) {
  // The message box shows its text in the static control 0xFFFF.
  return ItemText(hwndBox, 0xFFFF);
}

void PressOk(HWND hwndBox) { Click(hwndBox, IDOK); }

void PressKey(HWND hwnd, WORD vk) {
  SetForegroundWindow(hwnd);
  Sleep(200);
  INPUT in[2] = {};
  in[0].type = in[1].type = INPUT_KEYBOARD;
  in[0].ki.wVk = in[1].ki.wVk = vk;
  in[1].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(2, in, sizeof(INPUT));
}

bool ClickCloseBox(HWND hwnd) {
  SetForegroundWindow(hwnd);
  Sleep(200);
  RECT rc;
  GetWindowRect(hwnd, &rc);
  // Find the close box by asking the window what lies under each point of
  // its caption, right to left.
  for (int y = rc.top + 2; y < rc.top + 40; y += 2) {
    for (int x = rc.right - 2; x > rc.right - 80; x -= 2) {
      if (Send(hwnd, WM_NCHITTEST, 0, MAKELPARAM(x, y)) != HTCLOSE) continue;
      MovePointer(x - 3, y + 2);
      INPUT in[2] = {};
      for (INPUT& i : in) i.type = INPUT_MOUSE;
      in[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
      in[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
      SendInput(1, &in[0], sizeof(INPUT));
      Sleep(100);
      SendInput(1, &in[1], sizeof(INPUT));
      return true;
    }
  }
  return false;
}

void MovePointer(int x, int y) {
  int cx = GetSystemMetrics(SM_CXSCREEN), cy = GetSystemMetrics(SM_CYSCREEN);
  INPUT move = {};
  move.type = INPUT_MOUSE;
  move.mi.dx = static_cast<LONG>(x * 65535 / (cx - 1));
  move.mi.dy = static_cast<LONG>(y * 65535 / (cy - 1));
  move.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  // The display reports pointer crossings of windows that were just shown
  // a moment late, with the pointer's old place, and Wine takes that place
  // back; so the pointer is moved, the reports are let in, and it is moved
  // there once more.
  POINT pt = {};
  for (int round = 0; round < 2; ++round) {
    SendInput(1, &move, sizeof(INPUT));
    for (int i = 0; i < 100 && (!GetCursorPos(&pt) || pt.x != x || pt.y != y); ++i) Sleep(20);
    Sleep(round == 0 ? 300 : 50);
  }
}

void QuickClick(int x, int y) {
  MovePointer(x, y);
  INPUT in[2] = {};
  for (INPUT& i : in) i.type = INPUT_MOUSE;
  in[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  in[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  SendInput(2, in, sizeof(INPUT));
}

bool Responds(HWND hwnd, UINT uTimeoutMs) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutA(hwnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, uTimeoutMs, &result) != 0;
}

COLORREF ScreenPixel(HWND hwndDlg, int id, int x, int y) {
  RECT rc;
  GetWindowRect(GetDlgItem(hwndDlg, id), &rc);
  HDC screen = GetDC(nullptr);
  COLORREF c = GetPixel(screen, rc.left + x, rc.top + y);
  ReleaseDC(nullptr, screen);
  return c;
}

void Screenshot(HWND hwnd, const std::string& strName) {
  std::string strDir = Env("QRT_E2E_SHOTS");
  if (strDir.empty() || !hwnd) return;
  // Let the window finish drawing first.
  Responds(hwnd, 5000);
  Sleep(700);
  RECT rc;
  GetWindowRect(hwnd, &rc);
  int w = rc.right - rc.left, h = rc.bottom - rc.top;
  if (w <= 0 || h <= 0) return;
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
  HGDIOBJ old = SelectObject(mem, bmp);
  BitBlt(mem, 0, 0, w, h, screen, rc.left, rc.top, SRCCOPY);
  SelectObject(mem, old);

  BITMAPINFOHEADER bih = {};
  bih.biSize = sizeof bih;
  bih.biWidth = w;
  bih.biHeight = h;
  bih.biPlanes = 1;
  bih.biBitCount = 24;
  bih.biCompression = BI_RGB;
  int stride = (w * 3 + 3) & ~3;
  std::vector<unsigned char> pixels(static_cast<std::size_t>(stride) * h);
  GetDIBits(mem, bmp, 0, static_cast<UINT>(h), pixels.data(), reinterpret_cast<BITMAPINFO*>(&bih), DIB_RGB_COLORS);
  DeleteObject(bmp);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);

  BITMAPFILEHEADER bfh = {};
  bfh.bfType = 0x4D42;
  bfh.bfOffBits = sizeof bfh + sizeof bih;
  bfh.bfSize = bfh.bfOffBits + static_cast<DWORD>(pixels.size());
  std::string strPath = strDir + "\\" + strName + ".bmp";
  if (std::FILE* f = std::fopen(strPath.c_str(), "wb")) {
    std::fwrite(&bfh, sizeof bfh, 1, f);
    std::fwrite(&bih, sizeof bih, 1, f);
    std::fwrite(pixels.data(), 1, pixels.size(), f);
    std::fclose(f);
  }
}

}  // namespace e2e
