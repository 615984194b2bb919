// The small "キーボード入力" window shown while a key is captured: it asks for
// a key and offers buttons for the keys that cannot be captured by polling.
#pragma once

#include <QDialog>

namespace qorve {

class KeyCaptureDialog : public QDialog {
  Q_OBJECT

 public:
  explicit KeyCaptureDialog(QWidget* owner);

 protected:
  // Keys pressed while the window has the focus are for the capture: Esc
  // must not close the window, Enter must not press a button. Where the
  // capture's polling cannot hear keys (not on X), such a key is the one
  // captured (CodeChosen).
  void keyPressEvent(QKeyEvent* event) override;

 signals:
  // A key button was pressed (its fixed code), or a key typed where polling
  // hears none.
  void CodeChosen(int code);
};

}  // namespace qorve
