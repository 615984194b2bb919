// One QApplication for the settings program's tests (offscreen platform, set
// by the test main), with the Japanese font substitutes the program installs.
#pragma once

#include "platform/qt/fonts.h"

#include <QApplication>

namespace qorve::test {

inline QApplication& SettingsTestApplication() {
  static int argc = 1;
  static char name[] = "settings_test";
  static char* argv[] = {name, nullptr};
  static QApplication* application = [] {
    auto* app = new QApplication(argc, argv);
    InstallJapaneseFontSubstitutes();
    return app;
  }();
  return *application;
}

}  // namespace qorve::test
