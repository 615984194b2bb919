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
  // must not close the window, Enter must not press a button.
  void keyPressEvent(QKeyEvent* event) override;

 signals:
  // A key button was pressed: its fixed code.
  void CodeChosen(int code);
};

}  // namespace qorve
