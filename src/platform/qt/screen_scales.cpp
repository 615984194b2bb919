#include "platform/qt/screen_scales.h"

#include <QGuiApplication>
#include <QScreen>

#include <cmath>

namespace qorve {

std::vector<ScreenScale> ScreensInDevicePixels() {
  std::vector<ScreenScale> screens;
  for (const QScreen* screen : QGuiApplication::screens()) {
    const QRect logical = screen->geometry();
    ScreenScale scale;
    scale.ratio = screen->devicePixelRatio() > 0.0 ? screen->devicePixelRatio() : 1.0;
    scale.x = logical.x();
    scale.y = logical.y();
    // Qt rounds the device size divided by the ratio; multiplied back it is
    // the device size give or take a pixel, which only matters where two
    // screens meet (DeviceToLogical then takes the nearer corner).
    scale.width = static_cast<int>(std::lround(logical.width() * scale.ratio));
    scale.height = static_cast<int>(std::lround(logical.height() * scale.ratio));
    screens.push_back(scale);
  }
  return screens;
}

ScreenScaleWatch::ScreenScaleWatch(InputPoller& input) : input_(input) {
  auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
  if (!application) return;
  for (QScreen* screen : QGuiApplication::screens()) Watch(screen);
  connect(application, &QGuiApplication::screenAdded, this, [this](QScreen* screen) {
    Watch(screen);
    Update();
  });
  // A screen that goes is still in the list while the signal is sent.
  connect(application, &QGuiApplication::screenRemoved, this, [this](QScreen*) {
    QMetaObject::invokeMethod(this, [this] { Update(); }, Qt::QueuedConnection);
  });
  Update();
}

void ScreenScaleWatch::Watch(QScreen* screen) {
  // A new ratio (Xft.dpi changed) comes with a new logical size or dpi.
  connect(screen, &QScreen::geometryChanged, this, [this] { Update(); });
  connect(screen, &QScreen::logicalDotsPerInchChanged, this, [this] { Update(); });
  connect(screen, &QScreen::physicalDotsPerInchChanged, this, [this] { Update(); });
}

void ScreenScaleWatch::Update() { input_.SetScreens(ScreensInDevicePixels()); }

}  // namespace qorve
