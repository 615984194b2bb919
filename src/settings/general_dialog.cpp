#include "settings/general_dialog.h"

#include "common/settings.h"

#include <QBoxLayout>
#include <QCheckBox>

namespace qorve {

GeneralDialog::GeneralDialog(QWidget* parent) : SettingsDialog(QStringLiteral("全般の設定"), 1, 2, parent) {
  Body()->addWidget(BoundCheckBox(1206, "ログを出力", &Settings::kestravoxLog));
  Body()->addWidget(BoundCheckBox(1210, "終了時にボリュームを元に戻す", &Settings::kestravoxResetVolume));
  Body()->addWidget(BoundCheckBox(1211, "音声・動画・画像を区別せずに連続再生する。", &Settings::kestravoxMixPlay));
  Finish();
}

}  // namespace qorve
