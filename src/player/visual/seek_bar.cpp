#include "player/visual/seek_bar.h"

#include <QPaintEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>

#include <algorithm>
#include <cstdlib>

namespace qorve {

SeekBar::SeekBar(QWidget* parent) : QSlider(Qt::Horizontal, parent) { setAttribute(Qt::WA_OpaquePaintEvent); }

void SeekBar::SetGround(const QColor& colour) {
  if (colour == ground_) return;
  ground_ = colour;
  parts_ = Parts{};
  update();
}

void SeekBar::paintEvent(QPaintEvent*) {
  const qreal ratio = devicePixelRatioF();
  if (parts_.empty.isNull() || parts_.empty.size() != size() * ratio || parts_.ratio != ratio) DrawParts(ratio);
  // The groove as the style fills it up to the middle of the thumb, from the
  // side the thumb starts at, then the thumb over it.
  const QRect thumb = ThumbRect();
  const bool fillsLeft = thumbTravel_ >= 0;
  // The thumb's middle column belongs to the filled side.
  const int split = thumb.center().x() + (fillsLeft ? 1 : 0);
  const QRect left(0, 0, std::max(split, 0), height());
  const QRect right(split, 0, std::max(width() - split, 0), height());
  // Qt clips a widget's painting to the region of its paint event already.
  QPainter painter(this);
  painter.drawImage(left, fillsLeft ? parts_.filled : parts_.empty, ScaledBy(left, ratio));
  painter.drawImage(right, fillsLeft ? parts_.empty : parts_.filled, ScaledBy(right, ratio));
  painter.drawImage(thumb.topLeft(), parts_.thumb);
}

QRect SeekBar::ScaledBy(const QRect& rect, qreal ratio) {
  return QRectF(rect.x() * ratio, rect.y() * ratio, rect.width() * ratio, rect.height() * ratio).toAlignedRect();
}

void SeekBar::DrawParts(qreal ratio) {
  ThumbRect();  // the thumb's two ends
  QStyleOptionSlider option;
  initStyleOption(&option);
  const auto draw = [&](QImage& image, QStyle::SubControls parts, int position, QColor ground) {
    image = QImage(size() * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(ground);
    option.subControls = parts;
    option.sliderPosition = option.sliderValue = position;
    QPainter painter(&image);
    style()->drawComplexControl(QStyle::CC_Slider, &option, &painter, this);
  };
  // The groove empty (the thumb at the minimum) and filled (at the maximum),
  // each without its thumb; the thumb alone, cut out where it stands at the minimum.
  draw(parts_.empty, QStyle::SC_SliderGroove, minimum(), ground_);
  draw(parts_.filled, QStyle::SC_SliderGroove, maximum(), ground_);
  QImage thumb;
  draw(thumb, QStyle::SC_SliderHandle, minimum(), Qt::transparent);
  parts_.thumb = thumb.copy(ScaledBy(thumbAtMinimum_, ratio));
  parts_.thumb.setDevicePixelRatio(ratio);
  parts_.ratio = ratio;
}

void SeekBar::sliderChange(SliderChange change) {
  if (change != SliderValueChange) ForgetShape();
  const QRect thumb = ThumbRect();
  if (change != SliderValueChange || !drawnThumb_.isValid()) {
    // Range, orientation or first value: the whole bar is drawn anew.
    drawnThumb_ = thumb;
    QSlider::sliderChange(change);
    return;
  }
  if (thumb == drawnThumb_) return;
  // The groove left of the thumb may be drawn filled: the strip between the
  // two places covers it. Drawn and sent to the screen at once: a posted
  // repaint would wake the event loop for a pass of its own.
  repaint(drawnThumb_.united(thumb));
  drawnThumb_ = thumb;
}

void SeekBar::resizeEvent(QResizeEvent* event) {
  drawnThumb_ = QRect();  // the whole bar is repainted at its new width anyway
  ForgetShape();
  QSlider::resizeEvent(event);
}

void SeekBar::changeEvent(QEvent* event) {
  if (event->type() == QEvent::StyleChange || event->type() == QEvent::LayoutDirectionChange ||
      event->type() == QEvent::PaletteChange || event->type() == QEvent::EnabledChange) {
    ForgetShape();
  }
  QSlider::changeEvent(event);
}

void SeekBar::ForgetShape() {
  thumbAtMinimum_ = QRect();
  parts_ = Parts{};
}

int SeekBar::ThumbTravel() const {
  ThumbRect();  // learns the two ends
  return std::abs(thumbTravel_);
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
  // Styles count a thumb that travels leftwards from the left end too
  // ("upside down"), and round it so.
  const bool leftwards = thumbTravel_ < 0;
  const int fromLeft = QStyle::sliderPositionFromValue(minimum(), maximum(), sliderPosition(), std::abs(thumbTravel_), leftwards);
  return thumbAtMinimum_.translated(fromLeft - (leftwards ? -thumbTravel_ : 0), 0);
}

}  // namespace qorve
