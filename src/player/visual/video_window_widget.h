// The video window's widget: a black, always-on-top tool window that draws
// its own border and sizing frame (edges the user drags to resize it), refits
// the picture on every resize, is dragged by a press inside, switches full
// screen on a double click and passes the wheel to the display window.
// Pictures are drawn into a child placed where the media class fits them: on
// X a native window the video sink draws into, elsewhere a widget painting
// the pictures the pipeline hands over.
#pragma once

#include "platform/mci/video_surface.h"

#include <QImage>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <memory>
#include <mutex>

namespace qorve {

class VideoWindow final : public QWidget, public VideoSurface {
 public:
  VideoWindow();

  // Pictures the pipeline hands over where no native window can be drawn
  // into: the newest, and whether a repaint is already asked for. Written on
  // a streaming thread, painted on the user-interface thread.
  struct Pictures {
    mutable std::mutex mutex;
    QImage newest;  // guarded by mutex
    mutable std::atomic<bool> repaintAsked{false};  // cleared by each paint
  };

  // VideoSurface. The native window exists only on X; elsewhere the window
  // paints the pictures itself.
  uintptr_t NativeWindow() override;
  bool TakesPictures() const override;
  void ShowPicture(const uint8_t* pixels, int width, int height, int stride) override;
  void PlacePicture(int x, int y, int width, int height) override;
  double DevicePixelRatio() const override;
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
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  void Refit();
  // The edges of the sizing frame under `point` (none in full screen).
  Qt::Edges SizingEdgesAt(const QPoint& point) const;
  // Moves or resizes by the pointer ourselves, for window managers that
  // offer neither (and for none at all).
  void DragTo(const QPoint& globalPoint);

  QTimer refitTimer_;
  // A move or resize the window carries out itself: the edges dragged (none:
  // a move), where the pointer and the window were when it began.
  bool dragging_ = false;
  Qt::Edges dragEdges_;
  QPoint dragStart_;
  QRect dragFrom_;
  std::unique_ptr<Pictures> pictures_;  // null on X
  QWidget* picture_ = nullptr;  // the child the picture is drawn in (owned by Qt)
  bool framed_ = true;
};

// The video window as a widget, or null when there is none.
VideoWindow* VideoWindowWidget();

}  // namespace qorve
