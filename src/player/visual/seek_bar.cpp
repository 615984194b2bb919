#include "player/visual/seek_bar.h"

#include <QPaintEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>

namespace qorve {

SeekBar::SeekBar(QWidget* parent) : QSlider(Qt::Horizontal, parent) { setAttribute(Qt::WA_OpaquePaintEvent); }

void SeekBar::SetGround(const QColor& colour) {
  if (colour == ground_) return;
  ground_ = colour;
  update();
}

void SeekBar::paintEvent(QPaintEvent* event) {
  {
    QPainter painter(this);
    painter.fillRect(event->rect(), ground_);
  }
  QSlider::paintEvent(event);
}

void SeekBar::sliderChange(SliderChange change) {
  const QRect thumb = ThumbRect();
  if (change != SliderValueChange || !drawnThumb_.isValid()) {
    // Range, orientation or first value: the whole bar is drawn anew.
    drawnThumb_ = thumb;
    QSlider::sliderChange(change);
    return;
  }
  if (thumb == drawnThumb_) return;
  // The groove left of the thumb may be drawn filled: the strip between the
  // two places covers it.
  update(drawnThumb_.united(thumb));
  drawnThumb_ = thumb;
}

void SeekBar::resizeEvent(QResizeEvent* event) {
  drawnThumb_ = QRect();  // the whole bar is repainted at its new width anyway
  QSlider::resizeEvent(event);
}

QRect SeekBar::ThumbRect() const {
  QStyleOptionSlider option;
  initStyleOption(&option);
  return style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
}

}  // namespace qorve
