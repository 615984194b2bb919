#include "settings/dialogs/sound_dialog.h"

#include "common/settings.h"
#include "common/spc_output.h"
#include "platform/midi/midi_out.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>

#include <charconv>

namespace qorve {
namespace {

QSlider* Slider(QWidget* parent, int controlId, int maximum, int value) {
  auto* slider = Numbered(new QSlider(Qt::Horizontal, parent), controlId);
  slider->setRange(0, maximum);
  slider->setValue(value);
  slider->setMinimumWidth(200);
  return slider;
}

QComboBox* List(QWidget* parent, int controlId, const QStringList& items) {
  auto* list = Numbered(new QComboBox(parent), controlId);
  list->addItems(items);
  return list;
}

}  // namespace

int ReadTypedInteger(const QString& text) {
  const std::string digits = text.trimmed().toStdString();
  const char* begin = digits.data();
  if (!digits.empty() && digits.front() == '+') ++begin;
  int value = 0;
  const auto [end, error] = std::from_chars(begin, digits.data() + digits.size(), value);
  if (error != std::errc() || end != digits.data() + digits.size()) return 0;
  return value;
}

SoundDialog::SoundDialog(QWidget* parent) : SettingsDialog(QStringLiteral("サウンドの設定"), 1, 2, parent) {
  const Settings& settings = ProgramSettings();

  auto* tray = new QGroupBox(QStringLiteral("BGM再生"), this);
  auto* trayGrid = new QGridLayout(tray);
  trayGrid->addWidget(BoundCheckBox(1200, &Settings::winsetTask), 0, 0, 1, 2);
  trayGrid->addWidget(BoundCheckBox(1201, &Settings::soundsetBgmVolDown), 1, 0,
                      1, 2);
  trayGrid->addWidget(KeyLabel(&Settings::soundsetBgmVolume), 2, 0);
  bgmVolume_ = Slider(this, 1241, 100, settings.soundsetBgmVolume);
  trayGrid->addWidget(bgmVolume_, 2, 1);

  auto* loop = new QGroupBox(QStringLiteral("ループ再生"), this);
  auto* loopLayout = new QVBoxLayout(loop);
  for (QRadioButton* button :
       BoundRadioButtons({{1230, "しない"}, {1218, "する"}, {1222, "連続再生"}, {1226, "ランダム再生"}},
                         &Settings::soundsetLoop)) {
    loopLayout->addWidget(button);
  }
  auto* top = new QHBoxLayout();
  top->addWidget(tray, 1);
  top->addWidget(loop);
  Body()->addLayout(top);

  auto* spc = new QGroupBox(QStringLiteral("SPC"), this);
  auto* spcGrid = new QGridLayout(spc);
  spcGrid->addWidget(KeyLabel(&Settings::spcsetHz), 0, 0);
  spcHz_ = List(this, 1234, {"23900", "24000", "32000", "48000", "96000"});
  spcHz_->setEditable(true);
  // A rate that is not in the list (44100 by default) stands in the field.
  spcHz_->setCurrentIndex(-1);
  spcHz_->setEditText(QString::asprintf("%d", settings.spcsetHz));
  spcGrid->addWidget(spcHz_, 0, 1, Qt::AlignLeft);
  spcGrid->addWidget(new QLabel(QStringLiteral("ボリューム"), this), 1, 0);
  spcVolume_ = Slider(this, 1240, 12, settings.spcsetVolume / kSpcVolumeStep);
  spcVolume_->setPageStep(1);
  spcVolume_->setTickPosition(QSlider::TicksBelow);
  spcGrid->addWidget(spcVolume_, 1, 1);
  surround_ = Numbered(new QCheckBox(LabelOf(&Settings::spcsetSurnd), this), 1238);
  surround_->setChecked(settings.spcsetSurnd != 0);
  spcGrid->addWidget(surround_, 2, 0, 1, 2);

  auto* midi = new QGroupBox(QStringLiteral("MIDI"), this);
  auto* midiGrid = new QGridLayout(midi);
  QStringList devices{QStringLiteral("規定の音源(MIDI_MAPPER)")};
  const uint32_t count = midiOutGetNumDevs();
  for (uint32_t id = 0; id < count; ++id) {
    MIDIOUTCAPS caps{};
    if (midiOutGetDevCaps(id, &caps, sizeof caps) == MMSYSERR_NOERROR) devices << QString::fromUtf8(caps.szPname);
    else devices << QString();
  }
  midiGrid->addWidget(KeyLabel(&Settings::midisetDevice), 0, 0);
  midiDevice_ = List(this, 1242, devices);
  // A stored device that no longer exists selects nothing and is kept.
  const int device = settings.midisetDevice;
  midiDevice_->setCurrentIndex(device >= -1 && device < midiDevice_->count() - 1 ? device + 1 : -1);
  midiGrid->addWidget(midiDevice_, 0, 1);
  midiGrid->addWidget(KeyLabel(&Settings::midisetReset), 1, 0);
  midiReset_ = List(this, 1244, {"GM リセット", "GS リセット", "XG リセット", "しない"});
  const int reset = settings.midisetReset;
  midiReset_->setCurrentIndex(reset >= 0 && reset < midiReset_->count() ? reset : -1);
  midiGrid->addWidget(midiReset_, 1, 1, Qt::AlignLeft);
  midiGrid->setColumnStretch(1, 1);

  auto* bottom = new QHBoxLayout();
  bottom->addWidget(spc, 1);
  bottom->addWidget(midi, 1);
  Body()->addLayout(bottom);
  Finish();
}

void SoundDialog::StoreControls() {
  Settings& settings = ProgramSettings();
  settings.soundsetBgmVolume = bgmVolume_->value();
  settings.spcsetHz = ReadTypedInteger(spcHz_->currentText());
  settings.spcsetVolume = spcVolume_->value() * kSpcVolumeStep;
  settings.spcsetSurnd = surround_->isChecked() ? kSpcSurroundSetting : 0;
  if (midiDevice_->currentIndex() >= 0) settings.midisetDevice = midiDevice_->currentIndex() - 1;
  if (midiReset_->currentIndex() >= 0) settings.midisetReset = midiReset_->currentIndex();
}

}  // namespace qorve
