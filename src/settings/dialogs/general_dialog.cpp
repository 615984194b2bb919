#include "settings/dialogs/general_dialog.h"

#include "common/settings.h"

#include <QBoxLayout>
#include <QCheckBox>

namespace qorve {

GeneralDialog::GeneralDialog(QWidget* parent) : SettingsDialog(QStringLiteral("全般の設定"), 1, 2, parent) {
  Body()->addWidget(BoundCheckBox(1206, &Settings::kestravoxLog));
  Body()->addWidget(BoundCheckBox(1210, &Settings::kestravoxResetVolume));
  Body()->addWidget(BoundCheckBox(1211, &Settings::kestravoxMixPlay));
  Finish();
}

}  // namespace qorve
