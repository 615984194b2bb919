// One QApplication for the tests that need one (offscreen platform, set by
// the test main), with the Japanese font substitutes the programs install.
#pragma once

#include "platform/qt/fonts.h"

#include <QApplication>

namespace qorve::test {

inline QApplication& TestApplication() {
  static int argc = 1;
  static char name[] = "qorve_test";
  static char* argv[] = {name, nullptr};
  static QApplication* application = [] {
    auto* app = new QApplication(argc, argv);
    InstallJapaneseFontSubstitutes();
    return app;
  }();
  return *application;
}

}  // namespace qorve::test
