// MCIVIDEO: video files played through the MCI "MPEGVideo" device (or the
// device the extension chooses), the picture shown in the video window.
#pragma once

#include "platform/mci/mci.h"
#include "player/core/media_file.h"

namespace qorve {

class MCIVIDEO final : public MediaFile {
 public:
  MCIVIDEO();
  ~MCIVIDEO() override;

  // 0, or the result for the MCI error of the last open tried; 13 when the
  // driver throws.
  int Open(const std::string& path, const std::string& extension, WindowHandle owner) override;
  int Close() override;
  int Play(double from) override;
  int Rewind(double position) override;
  int Pause() override;
  // Pauses and seeks to the start.
  int Stop() override;
  int TogglePause() override;
  int SetSpeed(int percent) override;
  int SetVideoSize(int mode, int a, int b) override;
  int CenterVideo() override;
  int FitPicture() override;
  int IsPointerOnVideo() override;
  int ShowVideo() override;
  void GetStatus(MediaState& out) override;

 private:
  MCIDEVICEID device_ = 0;  // 0: no device open
  WindowHandle window_ = nullptr;
};

}  // namespace qorve
