// player/formats/audio/: the media classes of sound files.
//
// OGG: the media class of Ogg Vorbis files. libvorbisfile decodes the stream
// into 16-bit PCM that WaveOutStream plays; four comments fill MediaInfo.
#pragma once

#include "player/core/sound_end.h"
#include "player/formats/transport/wave_out_media.h"

#include <cstdint>
#include <memory>
#include <string>

namespace qorve {

class OGG final : public WaveOutMedia, public SoundEnd {
 public:
  OGG();
  // Stops and closes the stream (ending its worker) before the decoder is freed.
  ~OGG() override;

  // 0, 3 (the file cannot be opened), 5 (not an Ogg Vorbis stream) or 6 (the
  // output device cannot be opened).
  int Open(const std::string& path, const std::string& extension, WindowHandle owner) override;
  // The stream's PCM total over its rate.
  double SoundEndSeconds() const override { return soundEnd_; }

 private:
  // A time past the end leaves the decoder at its end (silence).
  void SeekSource(double from) override;
  struct Decoder;

  // The fill procedure: `bytes` bytes of PCM at the decoder's position, silence
  // after the end of the stream. Runs on whichever thread the stream calls it;
  // the stream never runs it on two at once.
  void Fill(uint8_t* buffer, uint32_t bytes) override;

  uint32_t bytesPerSecond_ = 0;
  double soundEnd_ = 0.0;
  std::unique_ptr<Decoder> decoder_;
};

}  // namespace qorve
