// Any bytes as an Ogg Vorbis (first byte 'O') or FLAC file (any other first
// byte): Open, then playing from the start, from a second in and past the end
// fill the ring through the class's fill procedure on a sound card that never
// plays. Nothing may crash, hang or read out of bounds.
#include "player/formats/audio/flac.h"
#include "player/formats/audio/ogg.h"
#include "support/sound_fuzz.h"

#include <cstdint>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qorve;
  if (size < 1) return 0;
  fuzz::UseSilentCard();
  const fuzz::MemoryFile file(data + 1, size - 1);
  if (!file.IsOpen()) return 0;
  std::unique_ptr<MediaFile> media;
  if (data[0] == 'O') media = std::make_unique<OGG>();
  else media = std::make_unique<FLAC>();
  fuzz::OpenAndPlay(*media, file.Path(), data[0] == 'O' ? "OGG" : "FLAC");
  return 0;
}
