#include "player/visual/seek_bar.h"

#include <QStyle>

namespace qorve {

SeekBar::SeekBar(QWidget* parent) : QSlider(Qt::Horizontal, parent) {}

void SeekBar::sliderChange(SliderChange change) {
  if (change == SliderValueChange) {
    const int offset = ThumbOffset(value());
    if (offset == drawnOffset_) return;
    drawnOffset_ = offset;
  } else {
    drawnOffset_ = -1;  // range or geometry changed: the next value redraws
  }
  QSlider::sliderChange(change);
}

void SeekBar::resizeEvent(QResizeEvent* event) {
  drawnOffset_ = -1;  // the whole bar is repainted at its new width anyway
  QSlider::resizeEvent(event);
}

int SeekBar::ThumbOffset(int value) const {
  return QStyle::sliderPositionFromValue(minimum(), maximum(), value, width());
}

}  // namespace qorve
