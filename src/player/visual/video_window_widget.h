// The video window's widget: a black, frameless, always-on-top tool window that
// refits the picture when resized, is dragged by a press, switches full screen
// on a double click and passes the wheel to the display window. Pictures are
// drawn into a native child window placed where the media class fits them.
#pragma once

#include "platform/video_surface.h"

#include <QTimer>
#include <QWidget>

namespace qorve {

class VideoWindow final : public QWidget, public VideoSurface {
 public:
  VideoWindow();

  // VideoSurface. The native window exists only on a real window system.
  uintptr_t NativeWindow() override;
  void PlacePicture(int x, int y, int width, int height) override;
  // Framed: the picture box starts 2 system edges in from the corner.
  void SetFramed(bool framed);

  // Refits the picture once after `milliseconds`.
  void StartRefitTimer(int milliseconds);
  // Full screen on or off, as a double click does; ignored without media or
  // while input is blocked.
  void ToggleFullScreen();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  void Refit();

  QTimer refitTimer_;
  QWidget* picture_ = nullptr;  // native child the video sink draws into (owned by Qt)
  bool framed_ = true;
};

// The video window as a widget, or null when there is none.
VideoWindow* VideoWindowWidget();

}  // namespace qorve
