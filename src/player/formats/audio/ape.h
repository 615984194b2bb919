// APE: the media class of Monkey's Audio files. The SDK stand-in decodes the
// file into PCM of its own format that WaveOutStream plays; the compression
// level names the codec and four APE tag fields fill MediaInfo.
#pragma once

#include "player/core/sound_end.h"
#include "player/formats/transport/wave_out_media.h"

#include <cstdint>
#include <memory>
#include <string>

class IAPEDecompress;

namespace qorve {

class APE final : public WaveOutMedia, public SoundEnd {
 public:
  APE();
  // Stops and closes the stream (ending its worker) before the decoder is freed.
  ~APE() override;

  // 0, 5 (missing, unreadable, not Monkey's Audio, or no decodable audio) or 6
  // (the output device cannot be opened).
  int Open(const std::string& path, const std::string& extension, WindowHandle owner) override;
  // The total blocks (sample frames) over the rate.
  double SoundEndSeconds() const override { return soundEnd_; }

 private:
  // Places the decoder at the block from / Length of the way through the file.
  void SeekSource(double from) override;
  // The fill procedure: whole blocks from the decoder, silence after the end.
  void Fill(uint8_t* buffer, uint32_t bytes) override;

  uint32_t bytesPerSecond_ = 0;
  int64_t totalBlocks_ = 0;
  double soundEnd_ = 0.0;
  uint32_t blockBytes_ = 0;  // one sample frame over all channels
  std::unique_ptr<IAPEDecompress> decoder_;
};

// The codec text of a compression level ("" for a level without a name).
const char* ApeCodecText(int compressionLevel);

}  // namespace qorve
