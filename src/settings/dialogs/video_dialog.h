// The video settings dialog ("動画の設定"): the playback engine and full
// screen at start.
#pragma once

#include "settings/dialogs/settings_dialog.h"

namespace qorve {

class VideoDialog : public SettingsDialog {
  Q_OBJECT

 public:
  explicit VideoDialog(QWidget* parent);
};

}  // namespace qorve
