// Drives the key-binding dialog on a real X display for the end-to-end check:
// opens it, starts the capture for one row, prints "ready" once the capture
// is listening, and when a key was captured closes the dialog without OK,
// saves the settings and prints "captured CODE". Exits 1 when nothing was
// captured within the time limit.
// Usage: key_binding_probe ROW [SECONDS]
#include "common/settings.h"
#include "platform/qt/fonts.h"
#include "settings/dialogs/key_binding_dialog.h"
#include "settings/keys/key_capture.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s ROW [SECONDS]\n", argv[0]);
    return 2;
  }
  QApplication application(argc, argv);
  qorve::InstallJapaneseFontSubstitutes();
  qorve::LoadSettings();
  const int row = std::atoi(argv[1]);
  const int seconds = argc > 2 ? std::atoi(argv[2]) : 20;
  int result = 1;
  qorve::KeyBindingDialog dialog;
  QObject::connect(&dialog, &qorve::KeyBindingDialog::KeyCaptured, [&](int, int code) {
    std::printf("captured %d\n", code);
    std::fflush(stdout);
    dialog.reject();
    qorve::SaveSettings(0);
    result = 0;
    application.quit();
  });
  dialog.show();
  dialog.StartCapture(row);
  QTimer::singleShot(qorve::KeyCapture::kSettleMilliseconds + 100, [] {
    std::printf("ready\n");
    std::fflush(stdout);
  });
  QTimer::singleShot(seconds * 1000, &application, &QApplication::quit);
  application.exec();
  if (result != 0) std::printf("nothing captured\n");
  return result;
}
