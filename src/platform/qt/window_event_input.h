// Qt's events on the program's own windows as input for the polled state,
// where the X server cannot see those windows (a Wayland session without X,
// or the programs made to run as native Wayland clients): a click on a
// window is a press of that mouse button, a key typed into a focused window
// a press of that key, and the pointer's place over a window the cursor.
// User-interface thread only.
#pragma once

#include "platform/input/input.h"

#include <QObject>

namespace qorve {

class WindowEventInput final : public QObject {
 public:
  // Watches every window of the application from now on (it must exist)
  // and has `input` take its pointer from these events.
  explicit WindowEventInput(InputPoller& input);
  ~WindowEventInput() override;

  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  InputPoller& input_;
};

// The virtual key of a Qt key event: from the key's symbol where the
// platform gives it, else from Qt's key code. 0 when none stands for it.
int VirtualKeyOfQtKey(int qtKey, unsigned nativeKeysym, bool keypad);

}  // namespace qorve
