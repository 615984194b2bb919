// What the fuzz targets of the sound classes share: the input as a file the
// class opens by path (an in-memory file seen through /proc), a sound card
// that never plays, so that every fill stays in the ring, and the calls that
// make the class fill it.
#pragma once

#include "common/settings.h"
#include "platform/audio/wave_out_virtual.h"
#include "player/core/media_file.h"
#include "support/memory_file.h"

#include <string>

namespace qorve::fuzz {

// Once per process: the log off, and every wave-out device from one card
// that never plays and keeps no bytes.
inline void UseSilentCard() {
  static VirtualSoundCard card(false);
  static const bool installed = [] {
    ProgramSettings().kestravoxLog = 0;
    SetWaveOutFactory([] { return card.NewDevice(); });
    return true;
  }();
  (void)installed;
}

// Opens the file with `media`; when it opens, plays from the start, from a
// second in and past the end, pauses and starts again: every one refills the
// whole ring through the class's fill procedure.
inline void OpenAndPlay(MediaFile& media, const std::string& path, const std::string& extension) {
  if (media.Open(path, extension, nullptr) != 0) return;
  media.Play(-1.0);
  media.Play(1.0);
  media.Play(1e6);
  media.TogglePause();
  media.TogglePause();
}

}  // namespace qorve::fuzz
