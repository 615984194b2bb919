#include "player/formats/video/video_window_control.h"

#include "player/formats/video/video_geometry.h"
#include "player/visual/video_window.h"

namespace qorve {

void ApplyVideoSize(MediaFile& media, int mode, int videoWidth, int videoHeight, bool updateNow) {
  int screenWidth = 0;
  int screenHeight = 0;
  VideoScreenSize(screenWidth, screenHeight);
  const VideoSizePlan plan =
      PlanVideoSize(mode, videoWidth, videoHeight, VideoWindowRectangle(), screenWidth, screenHeight);
  if (plan.onlyRefit) {
    media.FitPicture();
    return;
  }
  SetVideoWindowFramed(plan.framed);
  ResizeVideoWindow(plan.width, plan.height);
  media.FitPicture();
  if (updateNow) UpdateVideoWindow();
}

void CenterVideoWindow() {
  int screenWidth = 0;
  int screenHeight = 0;
  VideoScreenSize(screenWidth, screenHeight);
  const WindowPoint at = CenteredOnScreen(VideoWindowRectangle(), screenWidth, screenHeight);
  MoveVideoWindow(at.x, at.y);
}

void PlaceOpenedVideo(bool reused, PreviousVideoSize& previous, int width, int height) {
  if (reused) {
    const WindowPoint at = KeepCentre(VideoWindowRectangle(), previous.width, previous.height, width, height);
    MoveVideoWindow(at.x, at.y);
  } else {
    CenterVideoWindow();
  }
  previous = {width, height};
}

}  // namespace qorve
