#include "settings/video_dialog.h"

#include "common/settings.h"

#include <QBoxLayout>
#include <QCheckBox>

namespace qorve {

VideoDialog::VideoDialog(QWidget* parent) : SettingsDialog(QStringLiteral("動画の設定"), 1, 2, parent) {
  Body()->addWidget(BoundCheckBox(1182, "動画の再生にDirectShowを使用する", &Settings::videosetDShow));
  Body()->addWidget(BoundCheckBox(1194, "動画を全画面で再生する", &Settings::videosetFull));
  Finish();
}

}  // namespace qorve
