#include "settings/widgets/colour_swatch.h"

#include <QPainter>

namespace qorve {

QColor FromColorRef(int colorRef) {
  const unsigned value = static_cast<unsigned>(colorRef);
  return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

int ToColorRef(const QColor& colour) {
  return static_cast<int>(static_cast<unsigned>(colour.red()) | static_cast<unsigned>(colour.green()) << 8 |
                          static_cast<unsigned>(colour.blue()) << 16);
}

ColourSwatch::ColourSwatch(int colorRef, QWidget* parent) : QAbstractButton(parent), colorRef_(colorRef) {
  setCursor(Qt::PointingHandCursor);
}

void ColourSwatch::SetColorRef(int colorRef) {
  colorRef_ = colorRef;
  update();
}

QSize ColourSwatch::sizeHint() const { return QSize(48, 24); }

void ColourSwatch::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  // Corners of 10 x 10 pixels; a dark outline keeps a white swatch visible,
  // and a focus ring shows which control the keyboard is on.
  painter.setPen(QPen(hasFocus() ? palette().highlight().color() : palette().mid().color(), hasFocus() ? 2 : 1));
  painter.setBrush(FromColorRef(colorRef_));
  painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 5, 5);
}

}  // namespace qorve
