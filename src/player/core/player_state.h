// The player's program-wide run-time values that are not settings: the current
// media object, the file list and the input flags. User-interface thread only.
#pragma once

#include "player/core/file_list.h"
#include "player/core/media_file.h"

#include <cstdint>
#include <memory>

namespace qorve {

struct PlayerState {
  std::unique_ptr<MediaFile> media;  // the current media object; never null after start-up's load
  FileList fileList;
  uint32_t inputBlockedUntil = 0;  // TimeGetTime value; input before it is ignored
  int clickConsumed = 0;           // a mouse press was acted on; it does not also quit
  int slideshowRunning = 0;        // 1 while the still-image slideshow advances
  uint16_t volumeAtStart = 0;      // kept for RESETVOLUME
  int volumeBeforeTray = 0;        // percent, kept for BGMVOLDOWN
};

PlayerState& Player();

// A uniformly random index in [0, count); count must be above 0. Seeded from
// the clock at start-up (SeedRandom), so every run differs.
int RandomIndex(int count);
void SeedRandom(unsigned seed);

}  // namespace qorve
