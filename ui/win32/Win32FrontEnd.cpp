#include "ui/win32/Win32FrontEnd.h"

#include <vector>

#include "app/res/templates.h"
#include "ui/win32/DialogTemplateBuilder.h"
#include "ui/win32/win.h"

namespace ui::win32 {

namespace {

// What the front end keeps for a dialog while its window exists.
struct Window {
  HWND hwnd = nullptr;
  fw::Dialog* dlg = nullptr;
  PAINTSTRUCT ps = {};
  HDC paintDc = nullptr;
};

Window* WindowRecord(const fw::Dialog& dlg) { return static_cast<Window*>(dlg.m_pWindow); }

HWND Hwnd(const fw::Dialog& dlg) {
  Window* w = WindowRecord(dlg);
  return w ? w->hwnd : nullptr;
}

HWND Item(const fw::Dialog& dlg, int id) {
  HWND hwnd = Hwnd(dlg);
  return hwnd ? GetDlgItem(hwnd, id) : nullptr;
}

std::string TextOf(HWND hwnd) {
  if (!hwnd) return {};
  int n = GetWindowTextLengthA(hwnd);
  if (n <= 0) return {};
  std::string text(static_cast<std::size_t>(n) + 1, '\0');
  n = GetWindowTextA(hwnd, text.data(), n + 1);
  text.resize(static_cast<std::size_t>(n > 0 ? n : 0));
  return text;
}

// Which control kind sends a WM_COMMAND: buttons report clicks, combo boxes
// selection changes; other notifications are not the program's business.
const res::ControlTemplate* ControlOf(const fw::Dialog& dlg, int id) {
  const res::DialogTemplate* t = res::FindTemplate(dlg.TemplateId());
  return t ? t->Find(id) : nullptr;
}

void OnCommand(fw::Dialog& dlg, WPARAM wParam) {
  int id = LOWORD(wParam);
  unsigned code = HIWORD(wParam);
  const res::ControlTemplate* c = ControlOf(dlg, id);
  bool isCombo = c && c->kind == res::ControlKind::ComboDropDown;
  bool isList = c && c->kind == res::ControlKind::ListBox;
  if (isCombo) {
    if (code == CBN_SELCHANGE) dlg.HandleCommand(fw::Msg::SelChange, id);
  } else if (!isList && code == BN_CLICKED) {
    // Push buttons, and IDOK/IDCANCEL from the Enter and Escape keys.
    dlg.HandleCommand(fw::Msg::Command, id);
    // Everything the user typed or clicked while a long command ran is
    // dropped, so that nothing is acted on after it. Only then: a combo
    // box's notifications arrive while the press and release of a quick
    // click wait in the queue, and the list needs both.
    if (dlg.IsLongCommand(id)) Win32FrontEnd::DiscardPendingInput();
  }
}

// With common controls 6 a combo box drops down to as many entries as its
// "minimum visible" count (30 unless told), whatever height the template
// gives; it is told the count that fits the template's height.
void FitDropDownHeights(fw::Dialog& dlg, HWND hwnd) {
  const res::DialogTemplate* t = res::FindTemplate(dlg.TemplateId());
  if (!t) return;
  for (const res::ControlTemplate& c : t->controls) {
    if (c.kind != res::ControlKind::ComboDropDown) continue;
    HWND item = GetDlgItem(hwnd, c.id);
    RECT dropped = {0, 0, 1, c.cy};
    MapDialogRect(hwnd, &dropped);
    RECT field = {};
    GetWindowRect(item, &field);
    LRESULT entry = SendMessageW(item, CB_GETITEMHEIGHT, 0, 0);
    if (!item || entry <= 0) continue;
    // The list's own border takes two pixels.
    long visible = (dropped.bottom - (field.bottom - field.top) - 2) / entry;
    SendMessageW(item, CB_SETMINVISIBLE, static_cast<WPARAM>(visible < 1 ? 1 : visible), 0);
  }
}

void FillInitialLists(fw::Dialog& dlg, HWND hwnd) {
  const res::DialogTemplate* t = res::FindTemplate(dlg.TemplateId());
  if (!t) return;
  for (const res::ControlTemplate& c : t->controls) {
    if (c.initialList.empty()) continue;
    HWND item = GetDlgItem(hwnd, c.id);
    UINT msg = c.kind == res::ControlKind::ListBox ? LB_ADDSTRING : CB_ADDSTRING;
    for (const std::string& s : c.initialList) SendMessageA(item, msg, 0, reinterpret_cast<LPARAM>(s.c_str()));
  }
}

INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_INITDIALOG) {
    auto* w = reinterpret_cast<Window*>(lParam);
    w->hwnd = hwnd;
    SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    w->dlg->m_pWindow = w;
    FillInitialLists(*w->dlg, hwnd);
    FitDropDownHeights(*w->dlg, hwnd);
    return w->dlg->HandleInitDialog() ? TRUE : FALSE;
  }
  auto* w = reinterpret_cast<Window*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  if (!w || !w->dlg) return FALSE;
  fw::Dialog& dlg = *w->dlg;
  switch (msg) {
    case WM_COMMAND:
      OnCommand(dlg, wParam);
      return TRUE;
    case WM_SYSCOMMAND:
      return dlg.HandleSysCommand(static_cast<unsigned>(wParam), static_cast<long>(lParam)) ? FALSE : TRUE;
    case WM_PAINT:
      if (!dlg.HandlePaint()) return FALSE;
      // A handler that did not validate the window would be asked again
      // at once; the dialog counts as painted.
      if (GetUpdateRect(hwnd, nullptr, FALSE)) ValidateRect(hwnd, nullptr);
      return TRUE;
    case WM_HELP:
      // F1, in either window: the standard Help command, which the
      // application object handles.
      dlg.HandleCommand(fw::Msg::Command, ID_HELP);
      return TRUE;
    case WM_QUERYDRAGICON:
      return reinterpret_cast<INT_PTR>(dlg.HandleQueryDragIcon());
    case WM_CLOSE:
      dlg.HandleClose();
      return TRUE;
    default:
      return FALSE;
  }
}

UINT IconStyle(fw::MsgIcon icon) {
  switch (icon) {
    case fw::MsgIcon::Information:
      return MB_ICONINFORMATION;
    case fw::MsgIcon::Error:
      return MB_ICONERROR;
    case fw::MsgIcon::Warning:
      break;
  }
  return MB_ICONEXCLAMATION;
}

}  // namespace

std::string FileDialogFilter(const std::string& filter) {
  std::string out = filter;
  for (char& ch : out)
    if (ch == '|') ch = '\0';
  // Two NULs end the list, whether or not the text ended with "||".
  while (out.size() < 2 || out[out.size() - 1] != '\0' || out[out.size() - 2] != '\0') out.push_back('\0');
  return out;
}

Win32FrontEnd::Win32FrontEnd(void* instance)
    : m_hInstance(instance ? instance : static_cast<void*>(GetModuleHandleW(nullptr))) {}

Win32FrontEnd::~Win32FrontEnd() = default;

void* Win32FrontEnd::WindowOf(const fw::Dialog& dlg) { return Hwnd(dlg); }

void Win32FrontEnd::InitCommonControls() {
  INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  if (!InitCommonControlsEx(&icc)) ::InitCommonControls();
}

fw::IconHandle Win32FrontEnd::LoadAppIcon() {
  return LoadIconW(static_cast<HINSTANCE>(m_hInstance), MAKEINTRESOURCEW(IDR_MAINFRAME));
}

int Win32FrontEnd::RunModal(fw::Dialog& dlg) {
  const res::DialogTemplate* t = res::FindTemplate(dlg.TemplateId());
  if (!t) return -1;
  std::vector<std::uint32_t> bytes = BuildDialogTemplate(*t);
  Window w;
  w.dlg = &dlg;
  HWND owner = dlg.Parent() ? Hwnd(*dlg.Parent()) : nullptr;
  INT_PTR result = DialogBoxIndirectParamW(static_cast<HINSTANCE>(m_hInstance),
                                           reinterpret_cast<LPCDLGTEMPLATEW>(bytes.data()), owner, DialogProc,
                                           reinterpret_cast<LPARAM>(&w));
  dlg.m_pWindow = nullptr;
  if (result == -1 && w.hwnd == nullptr && owner == nullptr) m_bWindowFailed = true;
  return static_cast<int>(result);
}

void Win32FrontEnd::EndModal(fw::Dialog& dlg, int result) {
  if (HWND hwnd = Hwnd(dlg)) ::EndDialog(hwnd, result);
}

int Win32FrontEnd::MessageBox(fw::Dialog* owner, const std::string& text, const std::string& caption,
                              fw::MsgIcon icon) {
  HWND hwndOwner = owner ? Hwnd(*owner) : nullptr;
  UINT style = MB_OK | IconStyle(icon);
  // An ownerless box still keeps the program's windows from taking input
  // while it is open (it may appear in the middle of an update).
  if (!hwndOwner) style |= MB_TASKMODAL | MB_SETFOREGROUND;
  return MessageBoxA(hwndOwner, text.c_str(), caption.c_str(), style);
}

void Win32FrontEnd::SetWindowText(fw::Dialog& dlg, const std::string& text) {
  if (HWND hwnd = Hwnd(dlg)) SetWindowTextA(hwnd, text.c_str());
}

std::string Win32FrontEnd::GetWindowText(fw::Dialog& dlg) { return TextOf(Hwnd(dlg)); }

void Win32FrontEnd::SetItemText(fw::Dialog& dlg, int id, const std::string& text) {
  if (HWND item = Item(dlg, id)) SetWindowTextA(item, text.c_str());
}

std::string Win32FrontEnd::GetItemText(fw::Dialog& dlg, int id) { return TextOf(Item(dlg, id)); }

void Win32FrontEnd::ShowItem(fw::Dialog& dlg, int id, bool show) {
  if (HWND item = Item(dlg, id)) ShowWindow(item, show ? SW_SHOW : SW_HIDE);
}

bool Win32FrontEnd::IsItemVisible(fw::Dialog& dlg, int id) {
  HWND item = Item(dlg, id);
  // The control's own flag: the window as a whole may not be shown yet.
  return item && (GetWindowLongW(item, GWL_STYLE) & WS_VISIBLE) != 0;
}

void Win32FrontEnd::EnableItem(fw::Dialog& dlg, int id, bool enable) {
  if (HWND item = Item(dlg, id)) EnableWindow(item, enable ? TRUE : FALSE);
}

bool Win32FrontEnd::IsItemEnabled(fw::Dialog& dlg, int id) {
  HWND item = Item(dlg, id);
  return item && IsWindowEnabled(item);
}

void Win32FrontEnd::ComboResetContent(fw::Dialog& dlg, int id) { SendMessageA(Item(dlg, id), CB_RESETCONTENT, 0, 0); }

int Win32FrontEnd::ComboAddString(fw::Dialog& dlg, int id, const std::string& text) {
  HWND item = Item(dlg, id);
  if (!item) return -1;
  return static_cast<int>(SendMessageA(item, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str())));
}

void Win32FrontEnd::ComboSetCurSel(fw::Dialog& dlg, int id, int index) {
  SendMessageA(Item(dlg, id), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int Win32FrontEnd::ComboGetCurSel(fw::Dialog& dlg, int id) {
  HWND item = Item(dlg, id);
  return item ? static_cast<int>(SendMessageA(item, CB_GETCURSEL, 0, 0)) : -1;
}

int Win32FrontEnd::ComboGetCount(fw::Dialog& dlg, int id) {
  HWND item = Item(dlg, id);
  return item ? static_cast<int>(SendMessageA(item, CB_GETCOUNT, 0, 0)) : 0;
}

std::string Win32FrontEnd::ComboGetText(fw::Dialog& dlg, int id, int index) {
  HWND item = Item(dlg, id);
  if (!item) return {};
  LRESULT n = SendMessageA(item, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
  if (n == CB_ERR || n < 0) return {};
  std::string text(static_cast<std::size_t>(n) + 1, '\0');
  n = SendMessageA(item, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
  text.resize(n == CB_ERR || n < 0 ? 0 : static_cast<std::size_t>(n));
  return text;
}

int Win32FrontEnd::ListInsertString(fw::Dialog& dlg, int id, int index, const std::string& text) {
  HWND item = Item(dlg, id);
  if (!item) return -1;
  return static_cast<int>(
      SendMessageA(item, LB_INSERTSTRING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.c_str())));
}

int Win32FrontEnd::ListGetCount(fw::Dialog& dlg, int id) {
  HWND item = Item(dlg, id);
  return item ? static_cast<int>(SendMessageA(item, LB_GETCOUNT, 0, 0)) : 0;
}

std::string Win32FrontEnd::ListGetText(fw::Dialog& dlg, int id, int index) {
  HWND item = Item(dlg, id);
  if (!item) return {};
  LRESULT n = SendMessageA(item, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
  if (n == LB_ERR || n < 0) return {};
  std::string text(static_cast<std::size_t>(n) + 1, '\0');
  n = SendMessageA(item, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
  text.resize(n == LB_ERR || n < 0 ? 0 : static_cast<std::size_t>(n));
  return text;
}

void Win32FrontEnd::ProgressSetRange(fw::Dialog& dlg, int id, int lower, int upper) {
  SendMessageA(Item(dlg, id), PBM_SETRANGE, 0,
               MAKELPARAM(static_cast<WORD>(static_cast<std::int16_t>(lower)),
                          static_cast<WORD>(static_cast<std::int16_t>(upper))));
}

void Win32FrontEnd::ProgressSetPos(fw::Dialog& dlg, int id, int pos) {
  SendMessageA(Item(dlg, id), PBM_SETPOS, static_cast<WPARAM>(pos), 0);
}

void Win32FrontEnd::DiscardPendingInput() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
  }
  while (PeekMessageW(&msg, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
  }
  // Clicks on the caption, the close box and the system menu button.
  while (PeekMessageW(&msg, nullptr, WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK, PM_REMOVE)) {
  }
}

void Win32FrontEnd::RepaintNow(fw::Dialog& dlg) {
  HWND hwnd = Hwnd(dlg);
  if (!hwnd) return;
  // Peeking at the queue lets the system deliver what it holds for this
  // thread (window exposure, messages sent by other programs) and shows
  // that the program still responds; the user's input is dropped, since
  // nothing may act on it while the command runs.
  DiscardPendingInput();
  // Everything that needs drawing (the new list line, the progress, parts
  // uncovered by other windows) is drawn now. Invalidating the whole dialog
  // instead would erase its background over the controls on every page, and
  // the window would flicker through blank states for the whole transfer.
  RedrawWindow(hwnd, nullptr, nullptr, RDW_ERASENOW | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

bool Win32FrontEnd::AppendSystemMenu(fw::Dialog& dlg, unsigned command, const std::string& text) {
  HWND hwnd = Hwnd(dlg);
  HMENU menu = hwnd ? GetSystemMenu(hwnd, FALSE) : nullptr;
  if (!menu) return false;
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING, command, text.c_str());
  return true;
}

void Win32FrontEnd::SetIcon(fw::Dialog& dlg, fw::IconHandle icon, bool bigIcon) {
  if (HWND hwnd = Hwnd(dlg))
    SendMessageA(hwnd, WM_SETICON, bigIcon ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon));
}

void Win32FrontEnd::ShowHelp(fw::Dialog* owner) {
  // The help file is the program's own name with ".hlp", beside it; none
  // ships with the program, and the user is told so rather than nothing.
  char module[MAX_PATH + 1] = {};
  GetModuleFileNameA(nullptr, module, MAX_PATH);
  std::string path = module;
  std::string::size_type dot = path.find_last_of('.'), slash = path.find_last_of('\\');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) path.resize(dot);
  path += ".hlp";
  HWND hwnd = owner ? Hwnd(*owner) : nullptr;
  if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
    WinHelpA(hwnd, path.c_str(), HELP_FINDER, 0);
    return;
  }
  MessageBox(owner, "No help file found:\n" + path, fw::g_strAppName, fw::MsgIcon::Warning);
}

std::string Win32FrontEnd::FileOpenDialog(fw::Dialog& dlg, const std::string& filter, bool fileMustExist) {
  std::string strFilter = FileDialogFilter(filter);
  char path[4096] = {};
  OPENFILENAMEA ofn = {};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = Hwnd(dlg);
  ofn.lpstrFilter = strFilter.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = path;
  ofn.nMaxFile = sizeof path;
  ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING | OFN_PATHMUSTEXIST;
  if (fileMustExist) ofn.Flags |= OFN_FILEMUSTEXIST;
  if (!GetOpenFileNameA(&ofn)) return {};
  return path;
}

void Win32FrontEnd::SendClose(fw::Dialog& dlg) {
  if (HWND hwnd = Hwnd(dlg)) SendMessageA(hwnd, WM_CLOSE, 0, 0);
}

bool Win32FrontEnd::IsIconic(fw::Dialog& dlg) {
  HWND hwnd = Hwnd(dlg);
  return hwnd && ::IsIconic(hwnd);
}

fw::Size Win32FrontEnd::GetClientSize(fw::Dialog& dlg) {
  RECT rc = {};
  if (HWND hwnd = Hwnd(dlg)) GetClientRect(hwnd, &rc);
  return {rc.right - rc.left, rc.bottom - rc.top};
}

fw::Size Win32FrontEnd::GetIconMetrics() { return {GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON)}; }

void Win32FrontEnd::PaintIconic(fw::Dialog& dlg, fw::IconHandle icon, int x, int y) {
  HWND hwnd = Hwnd(dlg);
  if (!hwnd) return;
  PAINTSTRUCT ps;
  HDC hdc = BeginPaint(hwnd, &ps);
  SendMessageA(hwnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0);
  DrawIcon(hdc, x, y, static_cast<HICON>(icon));
  EndPaint(hwnd, &ps);
}

void Win32FrontEnd::PaintBegin(fw::Dialog& dlg) {
  Window* w = WindowRecord(dlg);
  if (!w || !w->hwnd || w->paintDc) return;
  w->paintDc = BeginPaint(w->hwnd, &w->ps);
}

void Win32FrontEnd::PaintEnd(fw::Dialog& dlg) {
  Window* w = WindowRecord(dlg);
  if (!w || !w->paintDc) return;
  EndPaint(w->hwnd, &w->ps);
  w->paintDc = nullptr;
}

}  // namespace ui::win32
