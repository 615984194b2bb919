// The program-wide video window (class "QORVEVIDEO") in which the video media
// classes show their picture. The handle is opaque here so that media classes
// need no window-system headers; video_window_widget.h has the Qt side.
// User-interface thread only.
#pragma once

#include "platform/mci/video_surface.h"
#include "player/core/media_file.h"

namespace qorve {

// The system edge of a framed video window, in pixels, horizontally and
// vertically: a framed window is 4 edges wider and higher than its picture
// box, and the box starts 2 edges in from the window's corner.
constexpr int kVideoWindowEdge = 2;

// A rectangle in screen pixels; right and bottom lie just outside it.
struct VideoWindowRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};

// The existing video window, or a new one: frameless, always on top, black,
// at (0, 0) with size 100 x 100, not yet shown.
WindowHandle CreateVideoWindow();
// The video window, or null when there is none.
WindowHandle GetVideoWindow();
// Destroys the video window if there is one.
void DestroyVideoWindow();
// The video window's outer rectangle on the screen (all 0 without a window).
VideoWindowRect VideoWindowRectangle();
// The size of the screen the video window is on, in pixels.
void VideoScreenSize(int& width, int& height);
// Framed: a border of 2 edges all round the picture box (the window with
// border and sizing frame); unframed: the box is the whole window (the bare
// full-screen popup).
void SetVideoWindowFramed(bool framed);
// Resizes keeping the top-left corner, or moves keeping the size.
void ResizeVideoWindow(int width, int height);
void MoveVideoWindow(int x, int y);
void ShowVideoWindow();
// Repaints at once, or at the next turn of the event loop.
void UpdateVideoWindow();
void InvalidateVideoWindow();
// Whether the pointer lies strictly inside the video window.
bool IsPointerOnVideoWindow();
// The surface the video stand-ins draw through; null without a window.
VideoSurface* VideoWindowSurface();
// After `milliseconds`, the current media object fits its picture to the
// video window again (once; a new call restarts the wait).
void StartVideoWindowTimer(int milliseconds);

}  // namespace qorve
