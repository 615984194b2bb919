// OPENMPT: the media class of the tracker modules our own engine does not
// read (S3M, IT, MTM, 669, 15-sample Soundtracker MODs, MODs of other
// signatures and the other formats libopenmpt knows). libopenmpt renders
// 44.1 kHz 16-bit stereo, as the MOD class does, that WaveOutStream plays.
#pragma once

#include "player/formats/transport/wave_out_media.h"

#include <cstdint>
#include <memory>
#include <string>

struct openmpt_module;

namespace qorve {

class OPENMPT final : public WaveOutMedia {
 public:
  // Larger files are refused before they are read: a module keeps its samples
  // raw or lightly packed, the largest real ones stay far below this, and the
  // file is held twice while libopenmpt copies it in.
  static constexpr std::uintmax_t kMaxFileBytes = std::uintmax_t{128} << 20;

  OPENMPT();
  // Stops and closes the stream (ending its worker) before the module is freed.
  ~OPENMPT() override;

  // 0; 3 (the file cannot be opened or read whole); 5 (larger than
  // kMaxFileBytes, or libopenmpt does not take it); 6 (the output device
  // cannot be opened); 8 (no memory for the file or the module). Length is the
  // song's duration in whole seconds, the started second counting whole (at
  // least 1, at most MOD::kMaxLengthSeconds); the player moves on there.
  int Open(const std::string& path, const std::string& extension, WindowHandle owner) override;

 private:
  // The next fill starts at `from` (to the frame, rendering ahead from a row
  // before it); past the end the module stands at its end and fills silence.
  void SeekSource(double from) override;
  // The fill procedure: bytes ÷ 4 frames from the module, silence after its
  // end (it does not start again). The stream never runs it on two threads
  // at once, nor while SeekSource runs.
  void Fill(uint8_t* buffer, uint32_t bytes) override;

  struct ModuleDeleter {
    void operator()(openmpt_module* module) const;
  };
  std::unique_ptr<openmpt_module, ModuleDeleter> module_;
};

}  // namespace qorve
