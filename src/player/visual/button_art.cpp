#include "player/visual/button_art.h"

#include "platform/qt/icon_square.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <map>
#include <utility>

namespace qorve {
namespace {

constexpr int kCell = 32;
constexpr double kStroke = 2.6;  // one stroke width for every pictogram
// The finest art drawn: 8 device pixels a logical one, past any screen made.
constexpr double kLargestRatio = 8.0;

enum class Face { Normal, Hover, Pressed };

struct Palette {
  QColor top, bottom, border, ink;
};

Palette PaletteOf(Face face) {
  switch (face) {
    case Face::Hover:
      return {QColor(0x4f, 0x9c, 0xf0), QColor(0x25, 0x6c, 0xc4), QColor(0x1a, 0x4f, 0x94), QColor(0xff, 0xff, 0xff)};
    case Face::Pressed:
      return {QColor(0x1b, 0x4c, 0x8a), QColor(0x25, 0x64, 0xb0), QColor(0x12, 0x36, 0x66), QColor(0xdd, 0xe8, 0xf5)};
    case Face::Normal:
    default:
      return {QColor(0x56, 0x66, 0x7a), QColor(0x35, 0x41, 0x4f), QColor(0x24, 0x2d, 0x37), QColor(0xf2, 0xf5, 0xf8)};
  }
}

void Plate(QPainter& p, const Palette& palette) {
  // One pixel of margin all round, so a cell cut by a window edge loses
  // nothing of the plate's outline.
  const QRectF plate(1.5, 1.5, 28.0, 28.0);
  QLinearGradient gradient(plate.topLeft(), plate.bottomLeft());
  gradient.setColorAt(0, palette.top);
  gradient.setColorAt(1, palette.bottom);
  p.setPen(QPen(palette.border, 1.0));
  p.setBrush(gradient);
  p.drawRoundedRect(plate, 6, 6);
}

QPen InkPen(const QColor& ink, double width = kStroke) {
  return QPen(ink, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void FilledPolygon(QPainter& p, const QColor& ink, std::initializer_list<QPointF> points) {
  p.setPen(InkPen(ink, 1.2));
  p.setBrush(ink);
  p.drawPolygon(QPolygonF(QList<QPointF>(points)));
}

void ArrowHead(QPainter& p, const QColor& ink, QPointF tip, QPointF direction, double size = 4.5) {
  const double length = std::hypot(direction.x(), direction.y());
  const QPointF d = direction / length;
  const QPointF n(-d.y(), d.x());
  const QPointF base = tip - d * size;
  FilledPolygon(p, ink, {tip, base + n * (size * 0.8), base - n * (size * 0.8)});
}

void Corner(QPainter& p, QPointF corner, QPointF alongX, QPointF alongY) {
  QPainterPath path;
  path.moveTo(corner + alongX);
  path.lineTo(corner);
  path.lineTo(corner + alongY);
  p.setBrush(Qt::NoBrush);
  p.drawPath(path);
}

void Frame(QPainter& p, const QColor& ink) {
  p.setPen(InkPen(ink, 2.0));
  p.setBrush(Qt::NoBrush);
  p.drawRoundedRect(QRectF(7, 9, 18, 14), 2, 2);
}

void Pictogram(QPainter& p, int id, int column, const QColor& ink) {
  p.setPen(InkPen(ink));
  p.setBrush(Qt::NoBrush);
  switch (id) {
    case kBitmapExit:
      p.drawLine(QPointF(10.5, 10.5), QPointF(21.5, 21.5));
      p.drawLine(QPointF(21.5, 10.5), QPointF(10.5, 21.5));
      break;
    case kBitmapPause:
      if (column == 0) {
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        p.drawRoundedRect(QRectF(10, 9, 4.5, 14), 1.2, 1.2);
        p.drawRoundedRect(QRectF(17.5, 9, 4.5, 14), 1.2, 1.2);
      } else {
        FilledPolygon(p, ink, {{12, 9}, {23, 16}, {12, 23}});
      }
      break;
    case kBitmapOnce:
      p.drawLine(QPointF(8, 16), QPointF(17, 16));
      ArrowHead(p, ink, QPointF(21, 16), QPointF(1, 0), 5);
      p.setPen(InkPen(ink));
      p.drawLine(QPointF(23.5, 10), QPointF(23.5, 22));
      break;
    case kBitmapLoop: {
      // Three quarters of a circle ending in an arrow head.
      const QRectF circle(9, 9, 14, 14);
      p.drawArc(circle, 100 * 16, 270 * 16);
      ArrowHead(p, ink, QPointF(17.6, 9.2), QPointF(1, 0.15), 5);
      break;
    }
    case kBitmapList:
      p.drawLine(QPointF(8, 10), QPointF(19, 10));
      p.drawLine(QPointF(8, 16), QPointF(19, 16));
      p.drawLine(QPointF(8, 22), QPointF(14, 22));
      FilledPolygon(p, ink, {{18, 18.5}, {24.5, 22}, {18, 25.5}});
      break;
    case kBitmapRand: {
      QPainterPath down;
      down.moveTo(7, 11);
      down.cubicTo(14, 11, 15, 21, 20.5, 21);
      QPainterPath up;
      up.moveTo(7, 21);
      up.cubicTo(14, 21, 15, 11, 20.5, 11);
      p.drawPath(down);
      p.drawPath(up);
      ArrowHead(p, ink, QPointF(25, 21), QPointF(1, 0), 4.5);
      ArrowHead(p, ink, QPointF(25, 11), QPointF(1, 0), 4.5);
      break;
    }
    case kBitmapFull:
      if (column == 0) {  // corners pointing out
        Corner(p, {8, 8}, {5, 0}, {0, 5});
        Corner(p, {24, 8}, {-5, 0}, {0, 5});
        Corner(p, {8, 24}, {5, 0}, {0, -5});
        Corner(p, {24, 24}, {-5, 0}, {0, -5});
      } else {  // corners pointing in
        Corner(p, {13, 13}, {-5, 0}, {0, -5});
        Corner(p, {19, 13}, {5, 0}, {0, -5});
        Corner(p, {13, 19}, {-5, 0}, {0, 5});
        Corner(p, {19, 19}, {5, 0}, {0, 5});
      }
      break;
    case kBitmapZoom:
      p.drawEllipse(QPointF(14, 14), 6, 6);
      p.setPen(InkPen(ink, 3.4));
      p.drawLine(QPointF(18.6, 18.6), QPointF(23.5, 23.5));
      p.setPen(InkPen(ink, 2.0));
      p.drawLine(QPointF(11, 14), QPointF(17, 14));
      if (column == 0) p.drawLine(QPointF(14, 11), QPointF(14, 17));
      break;
    case kBitmapNext:
      FilledPolygon(p, ink, {{9, 9.5}, {19, 16}, {9, 22.5}});
      p.setPen(InkPen(ink, 3.0));
      p.drawLine(QPointF(22.5, 9.5), QPointF(22.5, 22.5));
      break;
    case kBitmapBack:
      FilledPolygon(p, ink, {{23, 9.5}, {13, 16}, {23, 22.5}});
      p.setPen(InkPen(ink, 3.0));
      p.drawLine(QPointF(9.5, 9.5), QPointF(9.5, 22.5));
      break;
    case kBitmapShow:
      Frame(p, ink);
      if (column == 0) {  // a picture: hills and a sun
        p.setPen(InkPen(ink, 1.8));
        QPainterPath hills;
        hills.moveTo(9, 21);
        hills.lineTo(13.5, 15.5);
        hills.lineTo(17, 19);
        hills.lineTo(19.5, 16.5);
        hills.lineTo(23, 21);
        p.drawPath(hills);
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        p.drawEllipse(QPointF(20.5, 12.8), 1.6, 1.6);
      } else {  // the slideshow running
        FilledPolygon(p, ink, {{13.5, 12}, {20, 16}, {13.5, 20}});
      }
      break;
    case kBitmapHide: {
      p.drawLine(QPointF(16, 7), QPointF(16, 15));
      ArrowHead(p, ink, QPointF(16, 19), QPointF(0, 1), 5);
      p.setPen(InkPen(ink));
      QPainterPath tray;
      tray.moveTo(8, 19);
      tray.lineTo(8, 24);
      tray.lineTo(24, 24);
      tray.lineTo(24, 19);
      p.setBrush(Qt::NoBrush);
      p.drawPath(tray);
      break;
    }
    default:
      break;
  }
}

int ColumnsOf(int id) {
  switch (id) {
    case kBitmapPause:
    case kBitmapFull:
    case kBitmapZoom:
    case kBitmapShow:
      return 2;
    case kBitmapLoop:
    case kBitmapNext:
    case kBitmapBack:
    case kBitmapHide:
    case kBitmapList:
    case kBitmapRand:
    case kBitmapOnce:
    case kBitmapExit:
      return 1;
    default:
      return 0;
  }
}

QImage RenderBitmap(int id, double ratio) {
  const int columns = ColumnsOf(id);
  if (columns == 0) return QImage();
  QImage image(static_cast<int>(std::ceil(kCell * columns * ratio)), static_cast<int>(std::ceil(kCell * 3 * ratio)),
               QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(ratio);  // the painter below draws in logical pixels
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const Face faces[] = {Face::Normal, Face::Hover, Face::Pressed};
  for (int row = 0; row < 3; ++row) {
    const Palette palette = PaletteOf(faces[row]);
    for (int column = 0; column < columns; ++column) {
      p.save();
      p.translate(column * kCell, row * kCell);
      Plate(p, palette);
      // A pressed button's face sinks by one pixel.
      if (faces[row] == Face::Pressed) p.translate(0.7, 0.9);
      Pictogram(p, id, column, palette.ink);
      p.restore();
    }
  }
  return image;
}

}  // namespace

const QImage& ButtonBitmap(int resourceId, double ratio) {
  // Ratios Qt does not give (none, or absurd) fall back to the art's own size.
  if (!(ratio > 0.0 && ratio <= kLargestRatio)) ratio = 1.0;
  static std::map<std::pair<int, double>, QImage> cache;
  const std::pair<int, double> key{resourceId, ratio};
  auto found = cache.find(key);
  if (found == cache.end()) found = cache.emplace(key, RenderBitmap(resourceId, ratio)).first;
  return found->second;
}

QImage TrayIconImage(int size) {
  // A white play sign and a sound arc on the square: legible at 16 pixels,
  // the size the notification area asks for.
  QImage image = IconSquare(size);
  if (image.isNull()) return image;
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 16.0, size / 16.0);
  p.setPen(QPen(Qt::white, 0.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::white);
  p.drawPolygon(QPolygonF({QPointF(4.2, 3.8), QPointF(10.2, 8), QPointF(4.2, 12.2)}));
  p.setPen(QPen(Qt::white, 1.4, Qt::SolidLine, Qt::RoundCap));
  p.setBrush(Qt::NoBrush);
  p.drawArc(QRectF(7.2, 4.5, 5.8, 7), -50 * 16, 100 * 16);
  return image;
}

}  // namespace qorve
