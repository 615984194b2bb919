// The video window's geometry, shared by DIRECTSHOW and MCIVIDEO: the window
// size of each SetVideoSize mode, the rectangle that fits the picture in the
// window with its aspect ratio, and the moves that centre the window. Pure
// functions over pixels.
#pragma once

#include "player/visual/video_window.h"

namespace qorve {

// SetVideoSize modes.
enum VideoSizeMode : int {
  kVideoNatural = 0,
  kVideoDouble = 1,
  kVideoHalf = 2,
  kVideoFullScreen = 3,
  kVideoScreenSized = 4,
};

struct VideoSizePlan {
  bool onlyRefit = false;  // full screen asked while the window covers the screen already
  bool framed = true;      // border and sizing frame (every mode but full screen)
  int width = 0;           // the window's outer size
  int height = 0;
};

// What SetVideoSize does for `mode` with a video of that size in `window` on
// a screen of that size. Framed sizes grow by 4 edges each way. Modes other
// than 0 to 4 are taken as natural size.
VideoSizePlan PlanVideoSize(int mode, int videoWidth, int videoHeight, const VideoWindowRect& window,
                            int screenWidth, int screenHeight);

struct PictureRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

// The picture's place in a window of that outer size: the box is the size
// less 4 edges each way, and the picture fills the box's height (centred
// across) or its width (centred down), whichever keeps the aspect ratio
// inside. A video without a size fills the box.
PictureRect FitPictureRect(int windowWidth, int windowHeight, int videoWidth, int videoHeight);

struct WindowPoint {
  int x = 0;
  int y = 0;
};

// The top-left corner that centres `window` on the screen.
WindowPoint CenteredOnScreen(const VideoWindowRect& window, int screenWidth, int screenHeight);

// The top-left corner that keeps the centre of a reused window, which showed
// a previous video of that size, for a video of the new size.
WindowPoint KeepCentre(const VideoWindowRect& window, int previousWidth, int previousHeight, int width,
                       int height);

}  // namespace qorve
