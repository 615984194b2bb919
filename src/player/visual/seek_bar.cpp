#include "player/visual/seek_bar.h"

#include <QPaintEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>

#include <cstdlib>

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
  if (change != SliderValueChange) thumbAtMinimum_ = QRect();
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
  thumbAtMinimum_ = QRect();
  QSlider::resizeEvent(event);
}

void SeekBar::changeEvent(QEvent* event) {
  if (event->type() == QEvent::StyleChange || event->type() == QEvent::LayoutDirectionChange) {
    thumbAtMinimum_ = QRect();
  }
  QSlider::changeEvent(event);
}

QRect SeekBar::ThumbRect() const {
  if (!thumbAtMinimum_.isValid()) {
    // The style places the thumb along its travel as sliderPositionFromValue
    // says: asked once where the two ends lie, the rest is arithmetic.
    QStyleOptionSlider option;
    initStyleOption(&option);
    option.sliderPosition = option.sliderValue = minimum();
    thumbAtMinimum_ = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    option.sliderPosition = option.sliderValue = maximum();
    thumbTravel_ = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this).x() -
                   thumbAtMinimum_.x();
  }
  const int along = QStyle::sliderPositionFromValue(minimum(), maximum(), sliderPosition(), std::abs(thumbTravel_));
  return thumbAtMinimum_.translated(thumbTravel_ < 0 ? -along : along, 0);
}

}  // namespace qorve
