// The program-wide video window (class "QORVEVIDEO") in which the video media
// classes show their picture. The handle is opaque here so that media classes
// need no window-system headers; video_window_widget.h has the Qt side.
// User-interface thread only.
#pragma once

#include "player/core/media_file.h"

namespace qorve {

// The existing video window, or a new one: frameless, always on top, black,
// at (0, 0) with size 100 x 100, not yet shown.
WindowHandle CreateVideoWindow();
// The video window, or null when there is none.
WindowHandle GetVideoWindow();
// Destroys the video window if there is one.
void DestroyVideoWindow();
// After `milliseconds`, the current media object fits its picture to the
// video window again (once; a new call restarts the wait).
void StartVideoWindowTimer(int milliseconds);

}  // namespace qorve
