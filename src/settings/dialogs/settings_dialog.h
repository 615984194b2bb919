// settings/dialogs/: the dialogs of the settings program.
//
// The frame every settings dialog shares: controls found by their control
// number, the help box that explains the control under the cursor, and OK and
// cancel (OK stores the controls into the program-wide settings, cancel stores
// nothing).
#pragma once

#include <QDialog>
#include <QPoint>

#include <vector>

class QBoxLayout;
class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QRadioButton;
class QTimer;

namespace qorve {

struct Settings;

// The settings program's label of a key (from the settings table).
QString LabelOf(int Settings::*value);

// Gives a widget its control number (kept as its object name) and returns it.
template <typename W>
W* Numbered(W* widget, int controlId) {
  widget->setObjectName(QString::number(controlId));
  return widget;
}

// A spin box whose help text is that of its up-down arrows names their number
// in this property.
constexpr const char* kHelpControlProperty = "helpControl";

class SettingsDialog : public QDialog {
  Q_OBJECT

 public:
  // Number of the read-only help box.
  static constexpr int kHelpBox = 1116;

  // The first tab-stop control, in tab order, whose rectangle holds the
  // global point (of a radio-button group only the checked button counts);
  // null when there is none.
  QWidget* TabStopAt(QPoint global) const;
  // One step of the help timer for a cursor at `global`: shows the help text
  // of the control there when it is not the one shown last; empties the box
  // when there is none.
  void ShowHelpFor(QPoint global);

  void accept() override;

 protected:
  SettingsDialog(const QString& title, int okId, int cancelId, QWidget* parent);

  // Where a dialog puts its controls; call Finish() once they are in.
  QBoxLayout* Body() const { return body_; }
  void Finish();

  // A check box bound to a setting and labelled with the setting's label:
  // checked when the value is 1, stores 1 or 0.
  QCheckBox* BoundCheckBox(int controlId, int Settings::*value);
  // A plain label showing a setting's label (beside its slider or spin box).
  QLabel* KeyLabel(int Settings::*value);
  // Radio buttons bound to a setting: button i stands for value i. A value
  // that none stands for checks none and is kept on OK.
  std::vector<QRadioButton*> BoundRadioButtons(const std::vector<std::pair<int, const char*>>& buttons,
                                               int Settings::*value);

  // Stores the dialog's own controls; the bound ones are stored by accept().
  virtual void StoreControls() {}

 private:
  struct CheckBinding {
    QCheckBox* box;
    int Settings::*value;
  };
  struct RadioBinding {
    std::vector<QRadioButton*> buttons;
    int Settings::*value;
  };

  QBoxLayout* body_;
  QPlainTextEdit* helpBox_ = nullptr;
  QTimer* helpTimer_;
  QWidget* shownHelpFor_ = nullptr;
  bool helpShown_ = false;
  int okId_;
  int cancelId_;
  std::vector<CheckBinding> checks_;
  std::vector<RadioBinding> radios_;
};

}  // namespace qorve
