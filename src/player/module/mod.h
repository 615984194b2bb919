// player/module/: the tracker module engine and its media class.
//
// MOD: the media class of tracker modules (the XM and MOD layouts, whatever
// the file is called). The module engine renders 44.1 kHz 16-bit stereo that
// WaveOutStream plays; the length is measured by running the song once.
#pragma once

#include "player/formats/transport/wave_out_media.h"
#include "player/module/mod_player.h"

#include <cstdint>
#include <memory>
#include <string>

namespace qorve {

class MOD final : public WaveOutMedia {
 public:
  // A song that has not ended after this long (one that jumps to its own
  // order position for ever) is given this length; the player then moves on.
  static constexpr int kMaxLengthSeconds = 30 * 60;
  static constexpr int kRate = 44100;

  MOD();
  // Stops and closes the stream (ending its worker) before the engine is freed.
  ~MOD() override;

  // 0; 3 (the file cannot be opened or read whole); 5 (neither loader takes
  // it, or no engine could be made); 6 (the output device cannot be opened);
  // 8 (no memory for the file's bytes).
  int Open(const std::string& path, const std::string& extension, WindowHandle owner) override;

 private:
  // Always renders from the song's start: the engine skips ⌈from⌉ whole
  // seconds while the stream shows `from`.
  void SeekSource(double from) override;
  // The fill procedure: bytes ÷ 4 frames from the engine; after the song's
  // end the rest of the buffer is silence (the next fill starts the song
  // again). The stream never runs it on two threads at once.
  void Fill(uint8_t* buffer, uint32_t bytes) override;

  uint32_t bytesPerSecond_ = 0;
  // The engine context, owned: released (with its song) when the object goes
  // or a new Open replaces it.
  struct EngineDeleter {
    void operator()(ModPlayer* player) const { ModDestroy(player); }
  };
  std::unique_ptr<ModPlayer, EngineDeleter> engine_;
};

}  // namespace qorve
