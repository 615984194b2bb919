#include "player/visual/video_window_widget.h"

#include "common/settings.h"
#include "platform/clock.h"
#include "player/core/player_state.h"
#include "player/visual/video_window.h"
#include "player/visual/wnd_set.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

#include <algorithm>
#include <cstdint>

namespace qorve {
namespace {

constexpr uint32_t kFullScreenInputBlockMs = 30;
constexpr int kCornerSize = 32;  // full screen: a press in this top-left square toggles back

enum VideoSize : int { kVideoNaturalSize = 0, kVideoFullScreen = 3 };

}  // namespace

VideoWindow::VideoWindow() : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
  setObjectName(QStringLiteral("QORVEVIDEO"));
  setCursor(Qt::ArrowCursor);
  QPalette black = palette();
  black.setColor(QPalette::Window, Qt::black);
  setPalette(black);
  setAutoFillBackground(true);
  setGeometry(0, 0, 100, 100);
  refitTimer_.setSingleShot(true);
  QObject::connect(&refitTimer_, &QTimer::timeout, this, [this] { Refit(); });
}

void VideoWindow::StartRefitTimer(int milliseconds) { refitTimer_.start(std::max(milliseconds, 0)); }

void VideoWindow::Refit() {
  if (Player().media) Player().media->FitPicture();
  update();
}

void VideoWindow::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  painter.fillRect(event->rect(), Qt::black);
}

void VideoWindow::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  update();
}

void VideoWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Refit();
}

void VideoWindow::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  if (ProgramSettings().videosetFull == 0) {
    if (windowHandle()) windowHandle()->startSystemMove();
    return;
  }
  const QPoint at = event->position().toPoint();
  if (at.x() < kCornerSize && at.y() < kCornerSize) ToggleFullScreen();
}

void VideoWindow::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) ToggleFullScreen();
}

void VideoWindow::ToggleFullScreen() {
  PlayerState& player = Player();
  if (!player.media) return;
  // Input stays blocked until the tick passes inputBlockedUntil (wrapping).
  if (static_cast<int32_t>(TimeGetTime() - player.inputBlockedUntil) < 0) return;
  Settings& settings = ProgramSettings();
  player.media->SetVideoSize(settings.videosetFull == 1 ? kVideoNaturalSize : kVideoFullScreen, 0, 0);
  player.media->ShowVideo();
  player.media->CenterVideo();
  WndSet& display = DisplayWindowSet();
  display.MarkAllDirty();
  display.Invalidate();
  settings.videosetFull = settings.videosetFull == 1 ? 0 : 1;
  player.inputBlockedUntil = TimeGetTime() + kFullScreenInputBlockMs;
  player.clickConsumed = 1;
}

void VideoWindow::wheelEvent(QWheelEvent* event) {
  // The wheel sets the volume wherever it turns: the display window does it.
  if (QWidget* display = DisplayWindowSet().Window()) {
    QCoreApplication::sendEvent(display, event);
  } else {
    event->ignore();
  }
}

VideoWindow* VideoWindowWidget() { return static_cast<VideoWindow*>(GetVideoWindow()); }

}  // namespace qorve
