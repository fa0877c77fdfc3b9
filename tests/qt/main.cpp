// The window tests need a QApplication on a real display before any case runs.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include <QApplication>

int main(int argc, char** argv) {
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) {
    std::fprintf(stderr, "qt_window_tests: no X display; run them through tests/qt/xvfb-run.sh\n");
    return 1;
  }
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
