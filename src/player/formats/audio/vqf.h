// VQF: the media class of TwinVQ files. Our bitstream reader (tvq_bitstream.h)
// reads the chunk header and the frames; the tvqdec library decodes each frame
// into floats, which become 16-bit PCM for WaveOutStream. Title and author
// come from the header's text chunks.
#pragma once

#include "libs/tvqdec/tvqdec.h"
#include "player/formats/audio/tvq_bitstream.h"
#include "player/formats/transport/wave_out_media.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qorve {

// Float samples (channel after channel, `frameSize` each) to interleaved
// 16-bit: held to ±32700, rounded half away from zero.
void TvqFloatToPcm(const float* in, int16_t* out, int frameSize, int channels);

class VQF final : public WaveOutMedia {
 public:
  // Decoded frames dropped after the decoder starts (its priming frames).
  static constexpr int kDiscardFrames = 2;

  VQF();
  // Stops and closes the stream (ending its worker) before the reader closes
  // and the decoder is freed.
  ~VQF() override;

  // 0, 3 (the file cannot be opened), 5 (no TwinVQ header or no "DATA"),
  // 6 (the output device cannot be opened) or 11 (the chunks, the decoder or
  // the frame reading cannot be set up).
  int Open(const std::string& path, const std::string& extension, WindowHandle owner) override;
  // The pause key does nothing for TwinVQ files.
  int TogglePause() override { return MediaFile::TogglePause(); }

 private:
  // The reader moves to the frame that holds the time.
  void SeekSource(double from) override;
  // The fill procedure: whole frames decoded in turn (the buffer holds a
  // whole number of them); silence once the data has ended. Runs on
  // whichever thread the stream calls it; the stream never runs it on two at
  // once.
  void Fill(uint8_t* buffer, uint32_t bytes) override;

  uint32_t bytesPerSecond_ = 0;
  std::unique_ptr<TvqBitstream> reader_;
  bool decoderOpen_ = false;
  TvqIndex index_{};
  int frameSize_ = 0;
  int channels_ = 0;
  std::vector<float> floats_;
  std::vector<int16_t> pcm_;
  int discard_ = kDiscardFrames;
};

}  // namespace qorve
