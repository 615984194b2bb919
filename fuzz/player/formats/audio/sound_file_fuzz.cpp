// Any bytes as an Ogg Vorbis (first byte 'O') or FLAC file (any other first
// byte): Open, then playing from the start, from a second in and past the end
// fill the ring through the class's fill procedure on a sound card that never
// plays. Nothing may crash, hang or read out of bounds.
#include "common/settings.h"
#include "platform/audio/wave_out_virtual.h"
#include "player/formats/audio/flac.h"
#include "player/formats/audio/ogg.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <memory>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qorve;
  if (size < 1) return 0;
  static VirtualSoundCard card(false);
  static bool once = [] {
    ProgramSettings().kestravoxLog = 0;
    SetWaveOutFactory([] { return card.NewDevice(); });
    return true;
  }();
  (void)once;
  const int fd = memfd_create("sound", 0);
  if (fd < 0) return 0;
  if (write(fd, data + 1, size - 1) != static_cast<ssize_t>(size - 1)) {
    close(fd);
    return 0;
  }
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  std::unique_ptr<MediaFile> media;
  if (data[0] == 'O') media = std::make_unique<OGG>();
  else media = std::make_unique<FLAC>();
  if (media->Open(path, data[0] == 'O' ? "OGG" : "FLAC", nullptr) == 0) {
    media->Play(-1.0);
    media->Play(1.0);
    media->Play(1e6);
    media->TogglePause();
    media->TogglePause();
  }
  media.reset();
  close(fd);
  return 0;
}
