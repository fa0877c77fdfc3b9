#include "ui/win32/DialogTemplateBuilder.h"

#include <cstring>

#include "ui/win32/win.h"

namespace ui::win32 {

namespace {

// Appends WORDs to a byte buffer and pads it to DWORD boundaries.
class TemplateWriter {
 public:
  void Word(std::uint16_t w) { Bytes(&w, sizeof w); }
  void Dword(std::uint32_t d) { Bytes(&d, sizeof d); }
  void Short(std::int16_t s) { Bytes(&s, sizeof s); }
  void Byte(std::uint8_t b) { Bytes(&b, 1); }
  void String(const std::wstring& s) {
    for (wchar_t ch : s) Word(static_cast<std::uint16_t>(ch));
    Word(0);
  }
  void Ordinal(std::uint16_t id) {
    Word(0xFFFF);
    Word(id);
  }
  void AlignDword() {
    while (m_bytes.size() % 4) m_bytes.push_back(0);
  }
  std::vector<std::uint32_t> Finish() {
    AlignDword();
    std::vector<std::uint32_t> out(m_bytes.size() / 4);
    std::memcpy(out.data(), m_bytes.data(), m_bytes.size());
    return out;
  }

 private:
  void Bytes(const void* p, std::size_t n) {
    const auto* b = static_cast<const std::uint8_t*>(p);
    m_bytes.insert(m_bytes.end(), b, b + n);
  }
  std::vector<std::uint8_t> m_bytes;
};

std::int16_t Dlu(int v) { return static_cast<std::int16_t>(v); }

}  // namespace

std::wstring Widen(const std::string& text) {
  if (text.empty()) return {};
  int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

const wchar_t* ClassOfKind(res::ControlKind kind) {
  switch (kind) {
    case res::ControlKind::PushButton:
    case res::ControlKind::DefPushButton:
      return L"Button";
    case res::ControlKind::Progress:
      return PROGRESS_CLASSW;
    case res::ControlKind::ListBox:
      return L"ListBox";
    case res::ControlKind::Edit:
      return L"Edit";
    case res::ControlKind::ComboDropDown:
      return L"ComboBox";
    case res::ControlKind::Static:
    case res::ControlKind::Bitmap:
    case res::ControlKind::Icon:
      return L"Static";
  }
  return L"Static";
}

std::uint32_t ControlStyle(const res::ControlTemplate& c) {
  std::uint32_t style = WS_CHILD;
  if (c.style & res::kVisible) style |= WS_VISIBLE;
  if (c.style & res::kDisabled) style |= WS_DISABLED;
  if (c.style & res::kTabStop) style |= WS_TABSTOP;
  if (c.style & res::kGroup) style |= WS_GROUP;
  if (c.style & res::kBorder) style |= WS_BORDER;
  if (c.style & res::kVScroll) style |= WS_VSCROLL;
  switch (c.kind) {
    case res::ControlKind::PushButton:
      style |= BS_PUSHBUTTON;
      break;
    case res::ControlKind::DefPushButton:
      style |= BS_DEFPUSHBUTTON;
      break;
    case res::ControlKind::Progress:
      break;
    case res::ControlKind::ListBox:
      // Unsorted: lines stay where the program inserts them.
      if (c.style & res::kNotify) style |= LBS_NOTIFY;
      if (c.style & res::kVScrollAlways) style |= LBS_DISABLENOSCROLL | WS_VSCROLL;
      if (c.style & res::kNoIntegralHeight) style |= LBS_NOINTEGRALHEIGHT;
      break;
    case res::ControlKind::Edit:
      style |= ES_LEFT;
      if (c.style & res::kAutoHScroll) style |= ES_AUTOHSCROLL;
      break;
    case res::ControlKind::ComboDropDown:
      style |= CBS_DROPDOWN;  // unsorted
      break;
    case res::ControlKind::Static:
      style |= (c.style & res::kCentre) ? SS_CENTER : SS_LEFT;
      if (c.style & res::kNoPrefix) style |= SS_NOPREFIX;
      if (c.style & res::kNotify) style |= SS_NOTIFY;
      break;
    case res::ControlKind::Bitmap:
      style |= SS_BITMAP;
      if (c.style & res::kCentreImage) style |= SS_CENTERIMAGE;
      break;
    case res::ControlKind::Icon:
      style |= SS_ICON;
      if (c.style & res::kCentreImage) style |= SS_CENTERIMAGE;
      break;
  }
  return style;
}

std::uint32_t ControlExStyle(const res::ControlTemplate&) { return 0; }

std::uint32_t DialogStyle(const res::DialogTemplate& d) {
  std::uint32_t style = WS_POPUP;
  // "MS Shell Dlg" asks for the shell's dialog font.
  style |= d.font == "MS Shell Dlg" ? DS_SHELLFONT : DS_SETFONT;
  if (d.style & res::kDlgCaption) style |= WS_CAPTION;
  if (d.style & res::kDlgSysMenu) style |= WS_SYSMENU;
  if (d.style & res::kDlgMinimizeBox) style |= WS_MINIMIZEBOX;
  if (d.style & res::kDlgModalFrame) style |= DS_MODALFRAME;
  if (d.style & res::kDlgVisible) style |= WS_VISIBLE;
  return style;
}

std::uint32_t DialogExStyle(const res::DialogTemplate& d) {
  return (d.style & res::kDlgAppWindow) ? WS_EX_APPWINDOW : 0;
}

std::vector<std::uint32_t> BuildDialogTemplate(const res::DialogTemplate& d) {
  TemplateWriter w;
  w.Word(1);       // dlgVer
  w.Word(0xFFFF);  // signature: extended template
  w.Dword(0);      // helpID
  w.Dword(DialogExStyle(d));
  w.Dword(DialogStyle(d));
  w.Word(static_cast<std::uint16_t>(d.controls.size()));
  w.Short(Dlu(d.x));
  w.Short(Dlu(d.y));
  w.Short(Dlu(d.cx));
  w.Short(Dlu(d.cy));
  w.Word(0);  // no menu
  w.Word(0);  // the standard dialog class
  w.String(Widen(d.caption));
  w.Word(static_cast<std::uint16_t>(d.pointSize));
  w.Word(FW_NORMAL);
  w.Byte(0);                                                 // not italic
  w.Byte(d.font == "MS Shell Dlg" ? DEFAULT_CHARSET : ANSI_CHARSET);
  w.String(Widen(d.font));

  for (const res::ControlTemplate& c : d.controls) {
    w.AlignDword();
    w.Dword(0);  // helpID
    w.Dword(ControlExStyle(c));
    w.Dword(ControlStyle(c));
    w.Short(Dlu(c.x));
    w.Short(Dlu(c.y));
    w.Short(Dlu(c.cx));
    w.Short(Dlu(c.cy));
    w.Dword(static_cast<std::uint32_t>(c.id));
    w.String(ClassOfKind(c.kind));
    if (c.kind == res::ControlKind::Bitmap || c.kind == res::ControlKind::Icon)
      w.Ordinal(static_cast<std::uint16_t>(c.resource));  // picture from the module's resources
    else
      w.String(Widen(c.text));
    w.Word(0);  // no creation data
  }
  return w.Finish();
}

}  // namespace ui::win32
