// The video window's widget: a black, frameless, always-on-top tool window that
// refits the picture when resized, is dragged by a press, switches full screen
// on a double click and passes the wheel to the display window.
#pragma once

#include <QTimer>
#include <QWidget>

namespace qorve {

class VideoWindow final : public QWidget {
 public:
  VideoWindow();

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
};

// The video window as a widget, or null when there is none.
VideoWindow* VideoWindowWidget();

}  // namespace qorve
