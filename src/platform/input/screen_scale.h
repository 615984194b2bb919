// From the X server's pixels to the windows' pixels: where the screens lie on
// the server and how many device pixels a window pixel takes on each, and the
// conversion of a polled pointer position between the two. Plain C++.
#pragma once

#include <span>

namespace qorve {

// One screen as the polled backend sees it. Qt keeps each screen's top-left
// corner at its place on the server and divides only the distances inside
// the screen by the ratio, so the corner is the same in both spaces.
struct ScreenScale {
  int x = 0;  // top-left corner, device (and logical) pixels
  int y = 0;
  int width = 0;  // size in device pixels
  int height = 0;
  double ratio = 1.0;  // device pixels per logical pixel (Qt's devicePixelRatio), > 0
};

// Turns a device-pixel point into the logical pixel it lies in, by the
// screen that holds it (among screens whose edges overlap by a rounding,
// the one whose corner is nearest the point); a point on no screen goes by
// the nearest screen. Unchanged without screens or where the ratio is 1.
void DeviceToLogical(int& x, int& y, std::span<const ScreenScale> screens);

}  // namespace qorve
