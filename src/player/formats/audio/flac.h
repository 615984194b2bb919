// FLAC: the media class of FLAC files. libFLAC's stream decoder, driven one
// frame at a time by the fill procedure, feeds an accumulator that is handed
// to WaveOutStream in chunks of 576 sample frames. Tags come from a byte scan
// of the file's first kilobyte (flac_tag_scan.h).
#pragma once

#include "player/core/sound_end.h"
#include "player/formats/transport/wave_out_media.h"

#include <cstdint>
#include <memory>
#include <string>

namespace qorve {

class FLAC final : public WaveOutMedia, public SoundEnd {
 public:
  // Sample frames per chunk, and chunks per output buffer.
  static constexpr uint32_t kChunkFrames = 576;
  static constexpr uint32_t kChunksPerBuffer = 128;

  FLAC();
  // Stops and closes the stream (ending its worker) before the decoder is freed.
  ~FLAC() override;

  // 0, 5 (libFLAC cannot open the file or read its metadata) or 6 (the output
  // device cannot be opened). The output keeps the file's channels and rate;
  // samples go out in the smallest whole-byte width that holds them (8 bits
  // unsigned, 16, 24 or 32 bits signed, widths like 12 or 20 bits scaled up
  // to fill it), while Bits shows the file's own depth.
  int Open(const std::string& path, const std::string& extension, WindowHandle owner) override;
  // The stream's total samples over its rate; 0 when the stream leaves the total out.
  double SoundEndSeconds() const override { return soundEnd_; }

 private:
  // Moves the decoder to the whole second of `from`; a time past the end
  // plays silence.
  void SeekSource(double from) override;
  struct Decoder;

  // The fill procedure: whole chunks from the accumulator, silence after the
  // end of the stream. Runs on whichever thread the stream calls it; the
  // stream never runs it on two at once.
  void Fill(uint8_t* buffer, uint32_t bytes) override;

  std::unique_ptr<Decoder> decoder_;
  double soundEnd_ = 0.0;
};

}  // namespace qorve
