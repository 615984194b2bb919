#include "settings/dialogs/display_dialog.h"

#include "common/settings.h"
#include "platform/system/text.h"
#include "settings/widgets/colour_swatch.h"
#include "settings/widgets/font_chooser.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QColorDialog>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>

#include <iterator>

namespace qorve {
namespace {

// COLORREF values (0x00BBGGRR).
constexpr int kCustomColours[16] = {0x000000, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF,
                                    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0x808080};

struct BoundBox {
  int control;
  int Settings::*value;
};

// The installed family a face name stands for, spelled as the font database
// spells it (Windows face names go through their substitutes, which Qt keeps
// in lower case), so that the font chooser can select it.
QString InstalledFamily(const QString& face) {
  const QString wanted = QFont::substitute(face);
  for (const QString& family : QFontDatabase::families()) {
    if (family.compare(wanted, Qt::CaseInsensitive) == 0) return family;
  }
  return wanted;
}

QGridLayout* Grid(QGroupBox* box) {
  auto* grid = new QGridLayout(box);
  grid->setHorizontalSpacing(16);
  return grid;
}

}  // namespace

void InstallCustomColours() {
  for (int i = 0; i < static_cast<int>(std::size(kCustomColours)); ++i) {
    QColorDialog::setCustomColor(i, FromColorRef(kCustomColours[i]));
  }
}

DisplayChoosers StandardChoosers() {
  DisplayChoosers choosers;
  choosers.colour = [](int colorRef, QWidget* parent) -> std::optional<int> {
    InstallCustomColours();
    const QColor chosen = QColorDialog::getColor(FromColorRef(colorRef), parent, QStringLiteral("色の設定"));
    if (!chosen.isValid()) return std::nullopt;
    return ToColorRef(chosen);
  };
  choosers.font = [](const FontChoice& current, QWidget* parent) -> std::optional<FontChoice> {
    // A Windows face name stands for the installed font that replaces it.
    const QString face = InstalledFamily(QString::fromStdString(current.face));
    QFont font(face, current.pointSize > 0 ? current.pointSize : 12);
    font.setWeight(static_cast<QFont::Weight>(current.weight > 0 ? std::min(current.weight, 1000) : 400));
    font.setItalic(current.italic != 0);
    FontChooser chooser(font, current.colorRef, parent);
    if (chooser.exec() != QDialog::Accepted) return std::nullopt;
    const QFont chosen = chooser.SelectedFont();
    const int points = chosen.pointSize() > 0 ? chosen.pointSize() : static_cast<int>(chosen.pointSizeF());
    return FontChoice{chosen.family().toStdString(), points, chosen.weight(), chosen.italic() ? 1 : 0,
                      chooser.SelectedColorRef()};
  };
  return choosers;
}

DisplayDialog::DisplayDialog(QWidget* parent, DisplayChoosers choosers)
    : SettingsDialog(QStringLiteral("画面の設定"), kOk, kCancel, parent),
      choosers_(std::move(choosers)),
      backColour_(ProgramSettings().winsetBackColor) {
  const Settings& settings = ProgramSettings();

  auto* top = new QHBoxLayout();
  auto* placement = new QGroupBox(QStringLiteral("表示位置"), this);
  auto* placementLayout = new QVBoxLayout(placement);
  for (QRadioButton* button : BoundRadioButtons({{1086, "自動調整"}, {1092, "位置とサイズを指定"}, {1098, "表示しない"}},
                                                &Settings::winsetMode)) {
    placementLayout->addWidget(button);
  }
  placementLayout->addStretch(1);
  top->addWidget(placement);

  auto* window = new QGroupBox(QStringLiteral("ウィンドウ"), this);
  auto* windowGrid = Grid(window);
  windowGrid->addWidget(BoundCheckBox(1166, &Settings::winsetScroll), 0, 0, 1, 3);
  windowGrid->addWidget(new QLabel(QStringLiteral("背景色"), this), 1, 0);
  backSwatch_ = Numbered(new ColourSwatch(backColour_, this), 1168);
  connect(backSwatch_, &ColourSwatch::clicked, this, &DisplayDialog::ChooseBackgroundColour);
  windowGrid->addWidget(backSwatch_, 1, 1);
  windowGrid->addWidget(KeyLabel(&Settings::winsetAlpha), 2, 0);
  alpha_ = Numbered(new QSpinBox(this), 1102);
  alpha_->setRange(0, 100);
  alpha_->setValue(settings.winsetAlpha);
  windowGrid->addWidget(alpha_, 2, 1);
  windowGrid->addWidget(new QLabel(QStringLiteral("%"), this), 2, 2);
  top->addWidget(window);

  auto* font = new QGroupBox(QStringLiteral("フォント"), this);
  auto* fontGrid = Grid(font);
  fontFace_ = Numbered(new QLineEdit(QString::fromStdString(settings.fontsetFontFace), this), 1178);
  fontFace_->setReadOnly(true);
  fontFace_->setFocusPolicy(Qt::NoFocus);
  fontGrid->addWidget(fontFace_, 0, 0, 1, 2);
  auto* change = Numbered(new QPushButton(QStringLiteral("変更"), this), 1176);
  connect(change, &QPushButton::clicked, this, &DisplayDialog::ChooseFont);
  fontGrid->addWidget(change, 1, 0);
  fontSwatch_ = Numbered(new ColourSwatch(settings.fontsetFontColor, this), 1190);
  fontSwatch_->setFocusPolicy(Qt::NoFocus);
  fontSwatch_->setCursor(Qt::ArrowCursor);
  fontSwatch_->setToolTip(QStringLiteral("文字の色"));
  fontGrid->addWidget(fontSwatch_, 1, 1);
  top->addWidget(font);
  Body()->addLayout(top);

  auto* time = new QGroupBox(QStringLiteral("時間の表示"), this);
  auto* timeGrid = Grid(time);
  const BoundBox timeBoxes[] = {{1164, &Settings::winmesAllTime},
                                {1170, &Settings::winmesTimeLater},
                                {1172, &Settings::winmesTimePassed},
                                {1118, &Settings::winmesDecimal}};
  int column = 0;
  for (const BoundBox& box : timeBoxes) timeGrid->addWidget(BoundCheckBox(box.control, box.value), 0, column++);
  timeGrid->addWidget(KeyLabel(&Settings::winmesRenew), 1, 0);
  renew_ = Numbered(new QSlider(Qt::Horizontal, this), 1174);
  renew_->setRange(1, 11);
  renew_->setPageStep(1);
  renew_->setTickPosition(QSlider::TicksBelow);
  renew_->setValue(settings.winmesRenew);
  timeGrid->addWidget(renew_, 1, 1, 1, 3);
  auto* speeds = new QHBoxLayout();
  speeds->addWidget(new QLabel(QStringLiteral("遅"), this));
  speeds->addStretch(1);
  speeds->addWidget(new QLabel(QStringLiteral("普通"), this));
  speeds->addStretch(1);
  speeds->addWidget(new QLabel(QStringLiteral("超速"), this));
  timeGrid->addLayout(speeds, 2, 1, 1, 3);
  Body()->addWidget(time);

  auto* lines = new QGroupBox(QStringLiteral("表示する情報"), this);
  auto* linesGrid = Grid(lines);
  const BoundBox lineBoxes[] = {
      {1122, &Settings::winmesKind},           {1124, &Settings::winmesFileName},
      {1128, &Settings::winmesTitle},      {1130, &Settings::winmesSize},
      {1134, &Settings::winmesCodec},    {1138, &Settings::winmesState},
      {1142, &Settings::winmesFileList}, {1146, &Settings::winmesVolume},
      {1150, &Settings::winmesSinger},       {1154, &Settings::winmesGanre},
      {1158, &Settings::winmesTrack},  {1162, &Settings::winmesWavData}};
  int index = 0;
  for (const BoundBox& box : lineBoxes) {
    linesGrid->addWidget(BoundCheckBox(box.control, box.value), index / 4, index % 4);
    ++index;
  }
  Body()->addWidget(lines);

  auto* buttons = new QGroupBox(QStringLiteral("表示するボタン"), this);
  auto* buttonsGrid = Grid(buttons);
  const BoundBox buttonBoxes[] = {
      {1187, &Settings::buttonExit},       {1186, &Settings::buttonPause},
      {1196, &Settings::buttonOnce},   {1204, &Settings::buttonLoop},
      {1208, &Settings::buttonList},   {1212, &Settings::buttonRand},
      {1216, &Settings::buttonFull},     {1220, &Settings::buttonZoom},
      {1232, &Settings::buttonNext}, {1224, &Settings::buttonBack},
      {1228, &Settings::buttonShow}, {1236, &Settings::buttonHide}};
  index = 0;
  for (const BoundBox& box : buttonBoxes) {
    buttonsGrid->addWidget(BoundCheckBox(box.control, box.value), index / 4, index % 4);
    ++index;
  }
  Body()->addWidget(buttons);
  Finish();
}

void DisplayDialog::ChooseBackgroundColour() {
  if (const std::optional<int> chosen = choosers_.colour(backColour_, this)) {
    backColour_ = *chosen;
    backSwatch_->SetColorRef(backColour_);
  }
}

void DisplayDialog::ChooseFont() {
  Settings& settings = ProgramSettings();
  const FontChoice current{settings.fontsetFontFace, settings.fontsetFontSize, settings.fontsetFontWeight,
                           settings.fontsetFontItalic, settings.fontsetFontColor};
  const std::optional<FontChoice> chosen = choosers_.font(current, this);
  if (!chosen) return;
  // Stored at once: cancelling this dialog later keeps the new font.
  settings.fontsetFontSize = chosen->pointSize;
  settings.fontsetFontColor = chosen->colorRef;
  settings.fontsetFontWeight = chosen->weight;
  settings.fontsetFontItalic = chosen->italic;
  settings.fontsetFontFace = std::string(CutUtf8(chosen->face, kFontFaceBytes));
  fontFace_->setText(QString::fromStdString(settings.fontsetFontFace));
  fontSwatch_->SetColorRef(settings.fontsetFontColor);
}

void DisplayDialog::StoreControls() {
  Settings& settings = ProgramSettings();
  settings.winsetBackColor = backColour_;
  settings.winsetAlpha = alpha_->value();
  settings.winmesRenew = renew_->value();
}

}  // namespace qorve
