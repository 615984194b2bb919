#include "player/visual/video_window.h"

#include "common/log.h"
#include "platform/input/input.h"
#include "player/visual/video_window_widget.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>

#include <algorithm>

namespace qorve {
namespace {

VideoWindow*& VideoWindowSlot() {
  static VideoWindow* window = nullptr;
  return window;
}

}  // namespace

WindowHandle CreateVideoWindow() {
  VideoWindow*& window = VideoWindowSlot();
  if (window) return window;
  // A program without widgets (qorve-info) has no window to show a picture
  // in, as a window cannot be created without a window system.
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return nullptr;
  Log("ビデオウィンドウ作成", 0);
  window = new VideoWindow();
  return window;
}

WindowHandle GetVideoWindow() { return VideoWindowSlot(); }

void DestroyVideoWindow() {
  VideoWindow*& window = VideoWindowSlot();
  if (!window) return;
  delete window;
  window = nullptr;
  Log("ビデオウィンドウ削除", 0);
}

VideoWindowRect VideoWindowRectangle() {
  const VideoWindow* window = VideoWindowSlot();
  if (!window) return {};
  const QRect frame = window->frameGeometry();
  return {frame.left(), frame.top(), frame.left() + frame.width(), frame.top() + frame.height()};
}

void VideoScreenSize(int& width, int& height) {
  const VideoWindow* window = VideoWindowSlot();
  const QScreen* screen = window && window->screen() ? window->screen() : QGuiApplication::primaryScreen();
  const QRect area = screen ? screen->geometry() : QRect(0, 0, 640, 480);
  width = area.width();
  height = area.height();
}

void SetVideoWindowFramed(bool framed) {
  if (VideoWindow* window = VideoWindowSlot()) window->SetFramed(framed);
}

void ResizeVideoWindow(int width, int height) {
  if (VideoWindow* window = VideoWindowSlot()) window->resize(std::max(width, 1), std::max(height, 1));
}

void MoveVideoWindow(int x, int y) {
  if (VideoWindow* window = VideoWindowSlot()) window->move(x, y);
}

void ShowVideoWindow() {
  if (VideoWindow* window = VideoWindowSlot()) window->show();
}

void UpdateVideoWindow() {
  if (VideoWindow* window = VideoWindowSlot()) window->repaint();
}

void InvalidateVideoWindow() {
  if (VideoWindow* window = VideoWindowSlot()) window->update();
}

bool IsPointerOnVideoWindow() {
  const VideoWindow* window = VideoWindowSlot();
  if (!window || !window->isVisible()) return false;
  int x = 0;
  int y = 0;
  if (!SystemInput().GetCursorPos(x, y)) return false;
  const VideoWindowRect r = VideoWindowRectangle();
  return x > r.left && x < r.right && y > r.top && y < r.bottom;
}

VideoSurface* VideoWindowSurface() { return VideoWindowSlot(); }

void StartVideoWindowTimer(int milliseconds) {
  if (VideoWindow* window = VideoWindowSlot()) window->StartRefitTimer(milliseconds);
}

}  // namespace qorve
