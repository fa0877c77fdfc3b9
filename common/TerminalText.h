// Text from outside the program (a device's replies, what the system tells
// of an adapter) made safe to show on a terminal: no byte of it may move the
// cursor, clear the screen, retitle the window or add a column.
#pragma once
#include <string>

// TABs, control characters and C1 controls (U+0080 to U+009F) become '?',
// and so does every byte that is not part of valid UTF-8; everything else
// stays as it is.
std::string TerminalText(const std::string& str);

// The same for text of several lines (a message box's): each line made safe,
// the line breaks kept.
std::string TerminalLines(const std::string& str);
