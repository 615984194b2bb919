#include "settings/widgets/program_icon.h"

#include "platform/qt/icon_square.h"

#include <QPainter>
#include <QPixmap>

namespace qorve {

QImage ProgramIconImage(int size) {
  QImage image = IconSquare(size);
  if (image.isNull()) return image;
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 16.0, size / 16.0);
  p.setPen(QPen(Qt::white, 0.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::white);
  p.drawPolygon(QPolygonF({QPointF(5.5, 2.8), QPointF(10.5, 6.2), QPointF(5.5, 9.6)}));
  // The slider: a track and its knob.
  p.setPen(QPen(Qt::white, 1.0, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(3.2, 12.4), QPointF(12.8, 12.4));
  p.setPen(Qt::NoPen);
  p.drawEllipse(QPointF(9.5, 12.4), 1.5, 1.5);
  return image;
}

QIcon ProgramIcon() {
  QIcon icon;
  for (int size : {16, 32, 48}) icon.addPixmap(QPixmap::fromImage(ProgramIconImage(size)));
  return icon;
}

}  // namespace qorve
