#include "settings/dialogs/image_dialog.h"

#include "common/settings.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QSpinBox>

namespace qorve {
namespace {

QSpinBox* Spin(QWidget* parent, int controlId, int maximum, int value) {
  auto* spin = Numbered(new QSpinBox(parent), controlId);
  spin->setRange(0, maximum);
  spin->setValue(value);
  return spin;
}

}  // namespace

ImageDialog::ImageDialog(QWidget* parent) : SettingsDialog(QStringLiteral("画像の設定"), 1, 2, parent) {
  const Settings& settings = ProgramSettings();
  auto* grid = new QGridLayout();
  grid->addWidget(BoundCheckBox(1180, &Settings::imagesetShow), 0, 0, 1, 3);
  grid->addWidget(KeyLabel(&Settings::imagesetShowSec), 1, 0);
  showSeconds_ = Spin(this, 1184, 1000, settings.imagesetShowSec);
  grid->addWidget(showSeconds_, 1, 1);
  grid->addWidget(new QLabel(QStringLiteral("秒"), this), 1, 2);
  grid->addWidget(BoundCheckBox(1192, &Settings::imagesetScaleMatch), 2, 0, 1, 3);
  grid->addWidget(KeyLabel(&Settings::imagesetAlpha), 3, 0);
  alpha_ = Spin(this, 1096, 100, settings.imagesetAlpha);
  alpha_->setProperty(kHelpControlProperty, 1095);
  grid->addWidget(alpha_, 3, 1);
  grid->addWidget(new QLabel(QStringLiteral("%"), this), 3, 2);
  grid->setColumnStretch(3, 1);
  Body()->addLayout(grid);

  auto* scaling = new QGroupBox(QStringLiteral("縮小の方法"), this);
  auto* scalingLayout = new QVBoxLayout(scaling);
  for (QRadioButton* button : BoundRadioButtons({{1198, "COLORONCOLOR(高速だが低品質)"},
                                                 {1202, "HALFTONE(低速だが高品質。Win95/98/Meは未対応)"}},
                                                &Settings::imagesetScaleAlg)) {
    scalingLayout->addWidget(button);
  }
  Body()->addWidget(scaling);
  Finish();
}

void ImageDialog::StoreControls() {
  Settings& settings = ProgramSettings();
  settings.imagesetShowSec = showSeconds_->value();
  settings.imagesetAlpha = alpha_->value();
}

}  // namespace qorve
