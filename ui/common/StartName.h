// How a front end runs the program under another name than its file's
// (--as NAME): start-up reads brand, firmware version and keywords from
// NAME, and the program's own message boxes are titled with it. Shared by
// the console and the window on Linux, so that both take a name alike.
#pragma once
#include <string>

namespace ui {

void RunAs(const std::string& strName);

}  // namespace ui
