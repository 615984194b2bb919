// Where a video picture is drawn: a native window of the window system (or,
// where a video sink cannot draw into the program's windows, the surface
// paints the decoded pictures itself) and the picture's place in the video
// window. The video window implements it; the DirectShow and MCI video
// stand-ins draw through it. User-interface thread only, except ShowPicture.
#pragma once

#include <cstdint>

namespace qorve {

class VideoSurface {
 public:
  virtual ~VideoSurface() = default;
  // The native (X11) window the picture is drawn into; 0 where there is
  // none a video sink can draw into (a Wayland client, offscreen).
  virtual uintptr_t NativeWindow() = 0;
  // Without a native window: whether the surface paints the pictures handed
  // to ShowPicture (else they are decoded and dropped).
  virtual bool TakesPictures() const { return false; }
  // One decoded picture: `height` rows of `stride` bytes, 4 bytes a pixel in
  // the order blue, green, red, unused. Called on a streaming thread of the
  // pipeline while it plays; the surface copies what it keeps before returning.
  virtual void ShowPicture(const uint8_t* /*pixels*/, int /*width*/, int /*height*/, int /*stride*/) {}
  // Puts the picture at (x, y) with that size, in pixels of the video
  // window's client area.
  virtual void PlacePicture(int x, int y, int width, int height) = 0;
  // Device pixels per pixel of the video window (the screen's scale): a sink
  // that draws each picture at a size it is given draws it that many times
  // the place's size, to fill the native window on a high-resolution screen.
  virtual double DevicePixelRatio() const { return 1.0; }
};

}  // namespace qorve
