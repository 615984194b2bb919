#include "player/core/tray_mode.h"

#include "common/settings.h"
#include "common/volume.h"
#include "player/core/player_state.h"

namespace qorve {

void EnterTray(DisplayPort& display) {
  Settings& settings = ProgramSettings();
  display.HideToTray();
  settings.winsetTask = 1;
  if (settings.soundsetBgmVolDown == 1) {
    // A volume that cannot be read is left alone rather than remembered as 0,
    // which would restore silence.
    uint16_t value = 0;
    if (GetVolume(value)) {
      Player().volumeBeforeTray = VolumeToPercent(value);
      SetVolume(PercentToVolume(settings.soundsetBgmVolume));
    }
  }
  if (settings.soundsetLoop == 0) settings.soundsetLoop = 1;
}

void RestoreTrayVolume() {
  if (ProgramSettings().soundsetBgmVolDown == 1) SetVolume(PercentToVolume(Player().volumeBeforeTray));
}

void RememberVolumeAtStart() {
  if (ProgramSettings().kestravoxResetVolume == 1) GetVolume(Player().volumeAtStart);
}

void RestoreVolumeAtExit() {
  const Settings& settings = ProgramSettings();
  if (settings.kestravoxResetVolume == 1) {
    SetVolume(Player().volumeAtStart);
  } else if (settings.winsetTask == 1) {
    RestoreTrayVolume();
  }
}

}  // namespace qorve
