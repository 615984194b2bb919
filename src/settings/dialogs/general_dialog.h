// The general settings dialog ("全般の設定"): log, volume reset at exit and
// series over every kind of file.
#pragma once

#include "settings/dialogs/settings_dialog.h"

namespace qorve {

class GeneralDialog : public SettingsDialog {
  Q_OBJECT

 public:
  explicit GeneralDialog(QWidget* parent);
};

}  // namespace qorve
