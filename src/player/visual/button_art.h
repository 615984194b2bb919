// The player's own artwork: the bitmaps of the display window's buttons and the
// notification-area icon, drawn once with vector shapes and kept.
#pragma once

#include <QImage>

namespace qorve {

// Resource ids of the button bitmaps. Each is 96 pixels high: rows of 32 for
// the normal face (y 0), under the mouse (y 32) and pressed (y 64); one 32-pixel
// column per face.
enum ButtonBitmapId : int {
  kBitmapLoop = 104,
  kBitmapPause = 106,  // columns: pause, play
  kBitmapFull = 107,   // columns: go full screen, leave full screen
  kBitmapZoom = 108,   // columns: fit on (zoom in), fit off (zoom out)
  kBitmapShow = 109,   // columns: start slideshow, slideshow running
  kBitmapNext = 110,
  kBitmapBack = 111,
  kBitmapHide = 113,
  kBitmapList = 114,
  kBitmapRand = 115,
  kBitmapOnce = 116,
  kBitmapExit = 117,
};

constexpr int kTrayIconId = 103;

// The bitmap of a resource id; a null image for an id that has none. Built on
// first use; call from the user-interface thread. For a screen of another
// device pixel ratio the same art is drawn with that many pixels a cell
// (its devicePixelRatio says so; the sizes above stay in logical pixels).
const QImage& ButtonBitmap(int resourceId, double ratio = 1.0);

// The tray icon at `size` x `size` pixels (16 and 32 are the sizes drawn for).
QImage TrayIconImage(int size);

}  // namespace qorve
