// The file-type dialog of the settings program: a check box per extension
// that makes the player the program opening that type (the change is made at
// once), the Send To check box, and the help box under the cursor.
#pragma once

#include <QDialog>

class QCheckBox;
class QPlainTextEdit;
class QTimer;

namespace qorve {

class FileTypeDialog : public QDialog {
  Q_OBJECT

 public:
  explicit FileTypeDialog(QWidget* parent = nullptr);

  // Controls are named "control<number>" after their dialog item numbers.
  static QString ControlName(int control);

 private:
  // Every extension box from the desktop's associations, the Send To box from
  // the shortcut's presence.
  void Refresh();
  void ExtensionClicked(QCheckBox* box);
  void SendToClicked(QCheckBox* box);
  void ShowMessage(const QString& text);
  void UpdateHelp();

  QPlainTextEdit* help_ = nullptr;
  QWidget* helpShownFor_ = nullptr;
  QTimer* helpTimer_ = nullptr;
};

// Opens the dialog modally over `parent` (the main dialog).
void ShowFileTypeDialog(QWidget* parent);

}  // namespace qorve
