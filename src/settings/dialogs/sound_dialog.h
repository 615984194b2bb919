// The sound settings dialog ("サウンドの設定"): tray mode and its volume,
// play mode, SPC sample rate, volume and surround, MIDI device and reset.
#pragma once

#include "settings/dialogs/settings_dialog.h"

#include <QString>

class QComboBox;
class QSlider;

namespace qorve {

// A number typed into a field, read as a signed integer: optional blanks
// around an optional sign and decimal digits. Anything else, or a value out of
// the int range, reads as 0.
int ReadTypedInteger(const QString& text);

class SoundDialog : public SettingsDialog {
  Q_OBJECT

 public:
  // One step of the SPC volume slider.
  static constexpr int kSpcVolumeStep = 20480;

  explicit SoundDialog(QWidget* parent);

 protected:
  void StoreControls() override;

 private:
  QSlider* bgmVolume_;
  QComboBox* spcHz_;
  QSlider* spcVolume_;
  QCheckBox* surround_;
  QComboBox* midiDevice_;
  QComboBox* midiReset_;
};

}  // namespace qorve
