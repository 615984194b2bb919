// MP3: the media class of MP3 files played through the MP3 player module
// VBMP3.so (loaded from the program folder when the object is made), which
// decodes and plays by itself. The class keeps its own wall-clock position.
#pragma once

#include "platform/system/shared_module.h"
#include "player/core/media_file.h"

#include <cstdint>
#include <memory>
#include <string>

namespace qorve {

class MP3 final : public MediaFile {
 public:
  static constexpr const char* kModuleName = "VBMP3.so";

  // The result of Open for a module error number (what the factory shows).
  static int ResultOfModuleError(int error);

  MP3();
  // Runs Close.
  ~MP3() override;

  // 0 or the mapped module error; 10 when the module is missing.
  int Open(const std::string& path, const std::string& extension, WindowHandle owner) override;
  // Stops, closes and unloads the module; a second call does nothing.
  int Close() override;
  // Paused: resumes at the module's current second. Otherwise plays from
  // `from` truncated to whole seconds (a negative `from`: from 0).
  int Play(double from) override;
  int Rewind(double position) override;
  int Pause() override;
  // Back to second 0, paused.
  int Stop() override;
  int TogglePause() override;
  // Playing: the wall clock since the start, less 0.5 s; otherwise the
  // module's whole second less 0.5 s.
  void GetStatus(MediaState& out) override;

 private:
  struct Entries;

  int playState_ = kStopped;  // 0 not started, 1 playing, 2 paused
  uint32_t clockBase_ = 0;    // tick at which second 0 would have been heard
  SharedModule module_;
  std::unique_ptr<Entries> entries_;
};

}  // namespace qorve
