// The display window's seek bar: a horizontal slider that only shows the
// position. The controller sets its value as playback goes on; only a change
// that moves the thumb by at least a pixel repaints, and then only the strip
// between the old and the new thumb, as repainting the whole bar (and the
// window behind it) at every change would cost more than the rest of playback
// together. It paints its own ground (the window's background colour) so that
// the window behind it need not be repainted, and draws from pictures of its
// parts that the style made once for its size: the groove empty, the groove
// filled, the thumb.
#pragma once

#include <QColor>
#include <QImage>
#include <QRect>
#include <QSlider>

namespace qorve {

class SeekBar final : public QSlider {
 public:
  explicit SeekBar(QWidget* parent);

  // The colour under the groove and thumb: the window's background.
  void SetGround(const QColor& colour);
  // How many pixels the thumb moves from the minimum to the maximum.
  int ThumbTravel() const;

 protected:
  void sliderChange(SliderChange change) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  // Where the style draws the thumb for the current value.
  QRect ThumbRect() const;
  // Drops the thumb's ends and the parts' pictures, to be made anew when next needed.
  void ForgetShape();
  // The pictures of the parts, for the current size, range, style and ground.
  void DrawParts(qreal ratio);
  static QRect ScaledBy(const QRect& rect, qreal ratio);

  struct Parts {
    QImage empty;   // the groove with nothing filled, on the ground
    QImage filled;  // the groove filled all along, on the ground
    QImage thumb;   // the thumb alone, the size of ThumbRect
    qreal ratio = 0.0;
  };
  Parts parts_;  // null images: to be drawn

  QColor ground_{Qt::white};
  QRect drawnThumb_;  // where the thumb was at the last repaint asked for; invalid: none yet
  // The thumb at the minimum and how far it moves to the maximum (negative
  // leftwards); invalid until asked for after a change of size, range or style.
  mutable QRect thumbAtMinimum_;
  mutable int thumbTravel_ = 0;
};

}  // namespace qorve
