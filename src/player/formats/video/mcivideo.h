// MCIVIDEO: video files played through the MCI "MPEGVideo" device (or the
// device the extension chooses), the picture shown in the video window.
#pragma once

#include "player/formats/transport/mci_media.h"

namespace qorve {

class MCIVIDEO final : public MciMedia {
 public:
  MCIVIDEO();
  ~MCIVIDEO() override;

  // 0, or the result for the MCI error of the last open tried; 13 when the
  // driver throws.
  int Open(const std::string& path, const std::string& extension, WindowHandle owner) override;
  int SetVideoSize(int mode, int a, int b) override;
  int CenterVideo() override;
  int FitPicture() override;
  int IsPointerOnVideo() override;
  int ShowVideo() override;

 private:
  WindowHandle window_ = nullptr;
};

}  // namespace qorve
