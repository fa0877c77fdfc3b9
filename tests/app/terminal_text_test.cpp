// What reaches a terminal from outside the program: a device's reply or an
// adapter's name must not be able to move the cursor or retitle the window,
// while the program's own message boxes keep their lines.
#include <gtest/gtest.h>

#include "common/TerminalText.h"

TEST(TerminalText, ControlsAndBrokenUtf8BecomeOneMarkEach) {
  // ESC sequences (clear screen, set title ended by BEL), a tab, DEL.
  EXPECT_EQ(TerminalText("02.03\x1b[2J\x1b]0;x\x07" "00\tA\x7f"), "02.03?[2J?]0;x?00?A?");
  // A C1 control in UTF-8 (U+009B, the one-byte CSI) is one mark; a lone
  // 0xFF, a cut sequence and an overlong '/' are marks too.
  EXPECT_EQ(TerminalText("a\xc2\x9b" "b\xff" "c\xe2\x82" "d\xc0\xaf"), "a?b?c??d??");
  // Printable UTF-8 stays as it is.
  EXPECT_EQ(TerminalText("Prolific \xc2\xae \xe2\x82\xac \xf0\x9f\x94\x8c"), "Prolific \xc2\xae \xe2\x82\xac \xf0\x9f\x94\x8c");
}

TEST(TerminalText, LinesKeepTheirBreaksAndNothingElse) {
  EXPECT_EQ(TerminalLines("FILE RENAMED!\nCLOSE PROGRAM!"), "FILE RENAMED!\nCLOSE PROGRAM!");
  EXPECT_EQ(TerminalLines("a\r\n\x1b[2J\n"), "a?\n?[2J\n");
}
