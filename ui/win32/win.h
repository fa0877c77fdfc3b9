// windows.h for the Win32 front end. Several Win32 names are macros that
// would rename the framework's own members (MessageBox, SetWindowText,
// GetWindowText, LoadString), so they are removed here and the ANSI calls
// are named explicitly: the program's texts are 8-bit (Windows-1252).
#pragma once
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>

#undef MessageBox
#undef SetWindowText
#undef GetWindowText
#undef LoadString
#undef LoadLibrary
