#include "platform/qt/icon_square.h"

#include <QLinearGradient>
#include <QPainter>

namespace qorve {

QImage IconSquare(int size) {
  if (size <= 0) return QImage();
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 16.0, size / 16.0);
  const QRectF square(0.5, 0.5, 15, 15);
  QLinearGradient gradient(square.topLeft(), square.bottomLeft());
  gradient.setColorAt(0, QColor(0x4f, 0x9c, 0xf0));
  gradient.setColorAt(1, QColor(0x1d, 0x5a, 0xa8));
  p.setPen(QPen(QColor(0x12, 0x3a, 0x70), 1.0));
  p.setBrush(gradient);
  p.drawRoundedRect(square, 3.5, 3.5);
  return image;
}

}  // namespace qorve
