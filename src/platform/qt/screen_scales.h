// Keeps the input's picture of the screens (their places on the X server and
// their device pixel ratios) in step with Qt's, so that a pointer position
// polled from the server comes out in the logical pixels of the windows'
// geometry at every scale (QT_SCALE_FACTOR, QT_SCREEN_SCALE_FACTORS, Xft.dpi)
// and on every screen. User-interface thread only.
#pragma once

#include "platform/input/input.h"
#include "platform/input/screen_scale.h"

#include <QObject>

#include <vector>

class QScreen;

namespace qorve {

// Qt's screens in device pixels: the corner as it stands (Qt keeps it at its
// place on the server), the size times the ratio.
std::vector<ScreenScale> ScreensInDevicePixels();

class ScreenScaleWatch final : public QObject {
 public:
  // Hands `input` the screens now and again whenever one comes, goes, moves
  // or changes its resolution. The application must exist.
  explicit ScreenScaleWatch(InputPoller& input);

 private:
  void Watch(QScreen* screen);
  void Update();

  InputPoller& input_;
};

}  // namespace qorve
