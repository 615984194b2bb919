#include "player/core/main_window.h"

#include "common/settings.h"
#include "common/volume.h"
#include "platform/system/clock.h"
#include "player/core/player_state.h"
#include "player/core/tray_mode.h"
#include "player/visual/wnd_set.h"

#include <QCloseEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QSlider>
#include <QWheelEvent>
#include <QWindow>

#include <cstdlib>

namespace qorve {
namespace {

constexpr int kWheelNotch = 120;  // one click of an ordinary mouse wheel
constexpr uint32_t kRestoreInputBlockMs = 350;
constexpr int kResizeBorder = 4;  // pixels at the edge that start a resize (WINSET MODE 1)

}  // namespace

MainWindow::MainWindow()
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      tray_([this] { RestoreFromTray(); }) {
  setObjectName(QStringLiteral("KESTRAVOX"));
  setWindowTitle(QStringLiteral("KESTRAVOX"));
  setMouseTracking(true);
  // WndSet paints every pixel itself; nothing is erased behind its back.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
  setMinimumSize(1, 1);
}

int MainWindow::CurrentKind() const {
  MediaInfo info{};
  if (Player().media) Player().media->GetInfo(info);
  return Player().media ? info.Kind : kKindUnplayable;
}

void MainWindow::paintEvent(QPaintEvent* event) {
  // The seek bar paints its own ground: a region it covers whole (its thumb
  // moving) leaves the window's content as it is.
  const QSlider* bar = DisplayWindowSet().Trackbar();
  if (bar && bar->isVisible() && bar->geometry().contains(event->region().boundingRect())) return;
  QPainter painter(this);
  DisplayWindowSet().Paint(painter);
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  const int kind = CurrentKind();
  if (kind == kKindSound || kind == kKindVideo) DisplayWindowSet().Layout();
  DisplayWindowSet().MarkAllDirty();
}

void MainWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  DisplayWindowSet().MarkAllDirty();
}

void MainWindow::mouseMoveEvent(QMouseEvent*) {
  WndSet& wndSet = DisplayWindowSet();
  wndSet.MarkButtonsDirty(1);
  wndSet.Invalidate();
  wndSet.SetPressed(0);
}

Qt::Edges MainWindow::ResizeEdgesAt(const QPoint& point) const {
  Qt::Edges edges;
  if (point.x() < kResizeBorder) edges |= Qt::LeftEdge;
  if (point.x() >= width() - kResizeBorder) edges |= Qt::RightEdge;
  if (point.y() < kResizeBorder) edges |= Qt::TopEdge;
  if (point.y() >= height() - kResizeBorder) edges |= Qt::BottomEdge;
  return edges;
}

void MainWindow::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const Settings& settings = ProgramSettings();
  // A window placed by the user (WINSET MODE 1) has a sizing frame.
  if (settings.winsetMode == 1 && windowHandle()) {
    const Qt::Edges edges = ResizeEdgesAt(event->position().toPoint());
    if (edges && windowHandle()->startSystemResize(edges)) {
      Player().clickConsumed = 1;
      return;
    }
  }
  WndSet& wndSet = DisplayWindowSet();
  const int hit = wndSet.HitTest();
  const int kind = CurrentKind();
  const bool movable = ((kind == kKindSound || kind == kKindVideo) && settings.videosetFull == 0) ||
                       (kind == kKindImage && settings.imagesetShow == 0);
  if (hit == kHitWindow && movable) {
    if (windowHandle()) windowHandle()->startSystemMove();
    Player().clickConsumed = 1;
  } else if (hit >= kHitButtonBase) {
    wndSet.SetPressed(1);
    wndSet.MarkButtonsDirty(1);
    wndSet.Invalidate();
  }
}

void MainWindow::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  WndSet& wndSet = DisplayWindowSet();
  if (wndSet.HitTest() >= kHitButtonBase) {
    wndSet.SetPressed(0);
    wndSet.MarkButtonsDirty(1);
    wndSet.Invalidate();
  }
}

void MainWindow::wheelEvent(QWheelEvent* event) {
  // An ordinary wheel turns in notches of 120 and each event is applied as it
  // comes. Touchpads and fine-grained wheels send many small turns; applied one
  // by one each would be a huge step (the step grows as the turn shrinks), so
  // they are gathered into whole notches first.
  const int delta = event->angleDelta().y();
  int turn = 0;
  if (std::abs(delta) >= kWheelNotch) {
    turn = delta;
    wheelRemainder_ = 0;
  } else {
    wheelRemainder_ += delta;
    if (std::abs(wheelRemainder_) >= kWheelNotch) {
      turn = wheelRemainder_ > 0 ? kWheelNotch : -kWheelNotch;
      wheelRemainder_ -= turn;
    }
  }
  uint16_t volume = 0;
  // Without a readable volume there is nothing to step from.
  if (turn != 0 && GetVolume(volume)) SetVolume(VolumeAfterWheel(volume, turn));
  WndSet& wndSet = DisplayWindowSet();
  wndSet.MarkTextDirty(1);
  wndSet.Invalidate();
  event->accept();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // The window manager closing the window ends the program like the exit key.
  quitPosted_ = true;
  event->accept();
}

void MainWindow::HideToTray() {
  tray_.Show();
  hide();
}

void MainWindow::RestoreFromTray() {
  tray_.Hide();
  show();
  raise();
  Settings& settings = ProgramSettings();
  settings.winsetTask = 0;
  Player().clickConsumed = 1;
  DisplayWindowSet().SetPressed(0);
  RestoreTrayVolume();
  Player().inputBlockedUntil = TimeGetTime() + kRestoreInputBlockMs;
}

void MainWindow::DestroyWindow() {
  tray_.Hide();
  hide();
  quitPosted_ = true;
}

int DisplayWindowPort::HitTest() { return DisplayWindowSet().HitTest(); }
double DisplayWindowPort::TimeAtCursor(double length) { return DisplayWindowSet().TimeAtCursor(length); }
void DisplayWindowPort::Layout() { DisplayWindowSet().Layout(); }
void DisplayWindowPort::MarkAllDirty() { DisplayWindowSet().MarkAllDirty(); }
void DisplayWindowPort::MarkTextDirty(int value) { DisplayWindowSet().MarkTextDirty(value); }
void DisplayWindowPort::MarkButtonsDirty(int value) { DisplayWindowSet().MarkButtonsDirty(value); }
void DisplayWindowPort::SetPressed(int value) { DisplayWindowSet().SetPressed(value); }
void DisplayWindowPort::Invalidate() { DisplayWindowSet().Invalidate(); }
void DisplayWindowPort::SetTrackbarTime(double seconds) { DisplayWindowSet().SetTrackbarTime(seconds); }
bool DisplayWindowPort::OnScreen() { return DisplayWindowSet().OnScreen(); }
double DisplayWindowPort::SeekBarSecondsPerPixel(double length) {
  return DisplayWindowSet().TrackbarSecondsPerPixel(length);
}

void DisplayWindowPort::HideToTray() {
  if (window_) window_->HideToTray();
}

}  // namespace qorve
