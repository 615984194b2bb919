#include "settings/dialogs/video_dialog.h"

#include "common/settings.h"

#include <QBoxLayout>
#include <QCheckBox>

namespace qorve {

VideoDialog::VideoDialog(QWidget* parent) : SettingsDialog(QStringLiteral("動画の設定"), 1, 2, parent) {
  Body()->addWidget(BoundCheckBox(1182, &Settings::videosetDShow));
  Body()->addWidget(BoundCheckBox(1194, &Settings::videosetFull));
  Finish();
}

}  // namespace qorve
