// --port PATH, as both front ends take it: the device behind the COM port
// chosen in the main window when a command starts.
#pragma once
#include <string>

class UpdateDialog;

namespace ui {

// Makes strPath the device behind the window's chosen interface when that
// is a COM port (for this process and the update processes it starts);
// nothing for an empty path or another interface.
void UsePortPath(const UpdateDialog& dlg, const std::string& strPath);

}  // namespace ui
