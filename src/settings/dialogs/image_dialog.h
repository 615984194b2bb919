// The image settings dialog ("画像の設定"): slideshow and its interval,
// shrinking large pictures, the scaling method and the transparency.
#pragma once

#include "settings/dialogs/settings_dialog.h"

class QSpinBox;

namespace qorve {

class ImageDialog : public SettingsDialog {
  Q_OBJECT

 public:
  explicit ImageDialog(QWidget* parent);

 protected:
  void StoreControls() override;

 private:
  QSpinBox* showSeconds_;
  QSpinBox* alpha_;
};

}  // namespace qorve
