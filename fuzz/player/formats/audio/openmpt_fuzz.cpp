// Any bytes as a tracker module for libopenmpt: Open, then playing from the
// start, from a second in and past the end fill the ring through the class's
// fill procedure on a sound card that never plays. Nothing may crash, hang or
// read out of bounds.
#include "player/formats/audio/openmpt.h"
#include "support/sound_fuzz.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qorve::fuzz::UseSilentCard();
  const qorve::fuzz::MemoryFile file(data, size);
  if (!file.IsOpen()) return 0;
  qorve::OPENMPT media;
  qorve::fuzz::OpenAndPlay(media, file.Path(), "IT");
  return 0;
}
