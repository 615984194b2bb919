// MIO: the media class of Entis MIO files. Our MIO decoder library turns the
// file into blocks of PCM that WaveOutStream plays; the tags come from a byte
// scan of the file's header (mio_tag_scan.h).
#pragma once

#include "libs/mio/mio_decoder.h"
#include "libs/mio/mio_file.h"
#include "player/core/sound_end.h"
#include "player/formats/transport/wave_out_media.h"

#include <cstdint>
#include <memory>
#include <string>

namespace qorve {

class MIO final : public WaveOutMedia, public SoundEnd {
 public:
  MIO();
  // Stops and closes the stream (ending its worker) before the decoder closes.
  ~MIO() override;

  // 0, 3 (the file cannot be read), 5 (no MIO file, or a coding the decoder
  // library does not decode) or 6 (the output device cannot be opened).
  int Open(const std::string& path, const std::string& extension, WindowHandle owner) override;
  // The decoder's total sample frames over the rate.
  double SoundEndSeconds() const override { return soundEnd_; }

 private:
  // The next frame to decode; a time past the end plays silence.
  void SeekSource(double from) override;
  // The fill procedure: the decoder's block at the next frame, silence past
  // the end. Runs on whichever thread the stream calls it; the stream never
  // runs it on two at once.
  void Fill(uint8_t* buffer, uint32_t bytes) override;
  void ReadTags(const std::string& path);

  mio::MioFile file_;
  std::unique_ptr<mio::MioDecoder> decoder_;
  double soundEnd_ = 0.0;
  uint32_t bytesPerSecond_ = 0;
  uint32_t blockAlign_ = 0;
  uint32_t nextFrame_ = 0;  // touched by Fill, and by Play between Pause and Seek
};

}  // namespace qorve
