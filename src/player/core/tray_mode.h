// Hiding in the notification area and the master-volume changes that go with
// it and with the program's start and end. User-interface thread only.
#pragma once

#include "player/core/display_port.h"

namespace qorve {

// Hides the player in the tray: the icon is added and the window hidden,
// WINSET TASK becomes 1, play mode once becomes loop (the music must not end
// by itself while hidden), and with SOUNDSET BGMVOLDOWN the master volume
// drops to BGMVOLUME percent after its current percentage is remembered.
void EnterTray(DisplayPort& display);

// With BGMVOLDOWN, sets the volume back to the percentage remembered when the
// player went into the tray, once; nothing when it could not be read then.
void RestoreTrayVolume();

// With KESTRAVOX RESETVOLUME, remembers the volume the program started with
// (nothing when it cannot be read).
void RememberVolumeAtStart();

// At exit: with RESETVOLUME the start volume comes back; otherwise, when the
// player ends hidden in the tray with BGMVOLDOWN, the volume from before the
// tray does. A volume that was never read is not restored.
void RestoreVolumeAtExit();

}  // namespace qorve
