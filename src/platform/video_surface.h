// Where a video picture is drawn: a native window of the window system and
// the picture's place in the video window. The video window implements it;
// the DirectShow and MCI video stand-ins draw through it.
// User-interface thread only.
#pragma once

#include <cstdint>

namespace qorve {

class VideoSurface {
 public:
  virtual ~VideoSurface() = default;
  // The native (X11) window the picture is drawn into; 0 without a window
  // system (offscreen, tests): pictures are then decoded and dropped.
  virtual uintptr_t NativeWindow() = 0;
  // Puts the picture at (x, y) with that size, in pixels of the video
  // window's client area.
  virtual void PlacePicture(int x, int y, int width, int height) = 0;
};

}  // namespace qorve
