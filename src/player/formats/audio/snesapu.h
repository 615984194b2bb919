// SNESAPU: the media class of SPC sound images. The emulator module
// SNESAPU.so (loaded from the program folder when the object is made) runs the
// image and renders stereo 16-bit PCM straight into WaveOutStream's buffers;
// the ID666 tag gives the texts and the length.
#pragma once

#include "platform/system/shared_module.h"
#include "player/formats/transport/wave_out_media.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qorve {

class SNESAPU final : public WaveOutMedia {
 public:
  static constexpr const char* kModuleName = "SNESAPU.so";

  SNESAPU();
  // Stops and closes the stream before the module is unloaded, so that no fill
  // runs into an unloaded library.
  ~SNESAPU() override;

  // 0, 3 (the file cannot be opened), 6 (the output device cannot be opened)
  // or 10 (the module is missing).
  int Open(const std::string& path, const std::string& extension, WindowHandle owner) override;
  // -1.0 or any negative plays from 0. In play mode 1 (repeat) only a start
  // at 0 does anything.
  int Play(double from) override;
  // Position from the stream (an impossible one is logged and shown as 0);
  // Length becomes 86,400 s in play mode 1, else the song's length.
  void GetStatus(MediaState& out) override;

 private:
  // Restarts the emulator from the file's image and fast-forwards to `from`.
  void SeekSource(double from) override;
  struct Entries;

  // Options, reset and the image's memory, extra memory, DSP registers and
  // processor registers into the emulator.
  void LoadImage();
  void Fill(uint8_t* buffer, uint32_t bytes) override;

  SharedModule module_;
  std::unique_ptr<Entries> entries_;
  uint32_t bytesPerSecond_ = 0;
  std::vector<uint8_t> image_;  // the first 66,048 bytes of the file
  double songLength_ = 0;
};

}  // namespace qorve
