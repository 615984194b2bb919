// The key-binding dialog of the settings program: one row per player command
// with a list of every bindable key and an "入力" button that captures the
// next key pressed, and the two switches that end the player on a click
// outside its window. User-interface thread.
#pragma once

#include "common/settings.h"
#include "settings/keys/key_capture.h"

#include <QDialog>

#include <memory>
#include <mutex>
#include <optional>
#include <span>

class QCheckBox;
class QComboBox;

namespace qorve {

class KeyCaptureDialog;

// One row of the dialog, in the order of the stored table.
struct KeyBindingRow {
  const char* label;
  int listControl;
  int buttonControl;
  int Settings::*key;  // the KEYSET value the row edits
};

std::span<const KeyBindingRow> KeyBindingRows();

// Each capture gets its own poller of the system's keyboard (X11 when a
// display opens, else one where every key is up).
std::unique_ptr<InputPoller> CreateCaptureInput();

class KeyBindingDialog : public QDialog {
  Q_OBJECT

 public:
  explicit KeyBindingDialog(QWidget* parent = nullptr,
                            KeyCapture::InputFactory makeInput = CreateCaptureInput);
  ~KeyBindingDialog() override;

  // Stores `code` as the row's binding at once and selects it in the row's
  // list (a code the list does not hold leaves the list without a choice).
  void AssignKey(int row, int code);

  // The "入力" button of a row: captures the next key for it.
  void StartCapture(int row);
  // The capture window while a capture runs, else null.
  KeyCaptureDialog* CaptureWindow() const { return captureWindow_; }

  QComboBox* List(int row) const;

  // OK: stores the switches and every row's chosen key, then closes.
  void accept() override;
  // Closing without OK ends a running capture; keys captured so far stay bound.
  void reject() override;

 signals:
  // A capture ended by a key or a key button (after AssignKey).
  void KeyCaptured(int row, int code);

 private:
  struct CapturedCode {
    unsigned generation;
    int code;
  };
  // Posted by the capture thread once it has left a code in captured_.
  Q_INVOKABLE void TakeCapturedCode();
  void CaptureDone(unsigned generation, int code);
  void EndCapture();

  KeyCapture::InputFactory makeInput_;
  QCheckBox* leftExit_ = nullptr;
  QCheckBox* rightExit_ = nullptr;
  std::vector<QComboBox*> lists_;
  std::unique_ptr<KeyCapture> capture_;
  KeyCaptureDialog* captureWindow_ = nullptr;
  int captureRow_ = -1;
  // Counts captures, so that a code a finished capture posted late is dropped.
  unsigned captureGeneration_ = 0;
  // The hand-over from the capture thread: it writes, the user-interface thread takes.
  std::mutex capturedMutex_;
  std::optional<CapturedCode> captured_;
};

// Opens the dialog modally over `parent`; OK stores into ProgramSettings().
void ShowKeyBindingDialog(QWidget* parent);

}  // namespace qorve
