// Main of every unit test: whatever the developer's session has, tests run
// headless, with the virtual mixer and without an X display.
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
  setenv("QORVE_MIXER", "virtual", 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  unsetenv("XDG_SESSION_TYPE");
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
