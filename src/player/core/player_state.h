// The player's program-wide run-time values that are not settings: the current
// media object, the file list and the input flags. User-interface thread only.
#pragma once

#include "player/core/file_list.h"
#include "player/core/media_file.h"

#include <cstdint>
#include <memory>
#include <optional>

namespace qorve {

struct PlayerState {
  std::unique_ptr<MediaFile> media;  // the current media object; never null after start-up's load
  FileList fileList;
  uint32_t inputBlockedUntil = 0;  // TimeGetTime value; input before it is ignored
  int clickConsumed = 0;           // a mouse press was acted on; it does not also quit
  int slideshowRunning = 0;        // 1 while the still-image slideshow advances
  // Volumes to come back to; empty when they could not be read, so that
  // nothing is restored then.
  std::optional<uint16_t> volumeAtStart;  // kept for RESETVOLUME
  std::optional<int> volumeBeforeTray;    // percent, kept for BGMVOLDOWN until restored
};

PlayerState& Player();

// A uniformly random index in [0, count); count must be above 0. Seeded from
// the clock at start-up (SeedRandom), so every run differs.
int RandomIndex(int count);
void SeedRandom(unsigned seed);

}  // namespace qorve
