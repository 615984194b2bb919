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
    // A volume that cannot be read is neither lowered nor remembered: there
    // would be nothing sound to come back to.
    Player().volumeBeforeTray.reset();
    uint16_t value = 0;
    if (GetVolume(value)) {
      Player().volumeBeforeTray = VolumeToPercent(value);
      SetVolume(PercentToVolume(settings.soundsetBgmVolume));
    }
  }
  if (settings.soundsetLoop == 0) settings.soundsetLoop = 1;
}

void RestoreTrayVolume() {
  std::optional<int>& remembered = Player().volumeBeforeTray;
  if (ProgramSettings().soundsetBgmVolDown == 1 && remembered) SetVolume(PercentToVolume(*remembered));
  remembered.reset();
}

void RememberVolumeAtStart() {
  Player().volumeAtStart.reset();
  uint16_t value = 0;
  if (ProgramSettings().kestravoxResetVolume == 1 && GetVolume(value)) Player().volumeAtStart = value;
}

void RestoreVolumeAtExit() {
  const Settings& settings = ProgramSettings();
  if (settings.kestravoxResetVolume == 1) {
    if (Player().volumeAtStart) SetVolume(*Player().volumeAtStart);
  } else if (settings.winsetTask == 1) {
    RestoreTrayVolume();
  }
}

}  // namespace qorve
