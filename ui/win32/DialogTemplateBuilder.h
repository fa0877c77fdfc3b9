// Builds an in-memory extended dialog template (DLGTEMPLATEEX) from the
// program's template data, so that the native window and every other front
// end share one description of each window.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "app/res/templates.h"

namespace ui::win32 {

// Window classes of the controls, as the template names them.
const wchar_t* ClassOfKind(res::ControlKind kind);

// Win32 style and extended style of a control or dialog.
std::uint32_t ControlStyle(const res::ControlTemplate& c);
std::uint32_t ControlExStyle(const res::ControlTemplate& c);
std::uint32_t DialogStyle(const res::DialogTemplate& d);
std::uint32_t DialogExStyle(const res::DialogTemplate& d);

// 8-bit text (the ANSI code page) to UTF-16.
std::wstring Widen(const std::string& text);

// The template bytes, DWORD-aligned as the dialog manager requires (the
// vector's storage is suitably aligned).
std::vector<std::uint32_t> BuildDialogTemplate(const res::DialogTemplate& d);

}  // namespace ui::win32
