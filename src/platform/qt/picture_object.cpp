#include "platform/qt/picture_object.h"

#include "platform/picture/metafile.h"

#include <QBuffer>
#include <QByteArray>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QScreen>

#include <cstring>
#include <utility>

namespace qorve {
namespace {

constexpr int kReaderDpi = 96;  // pixels the readers report are taken at this density
constexpr int kHimetricPerInch = 2540;

// MulDiv: a * b / c rounded to the nearest integer, in 64 bits.
int MulDiv(int a, int b, int c) {
  const int64_t product = static_cast<int64_t>(a) * b;
  return static_cast<int>((product + (product >= 0 ? c / 2 : -c / 2)) / c);
}

Bitmap ToBitmap(const QImage& image) {
  // Transparent parts are composed onto black: premultiplied colour is the
  // colour over black.
  const QImage over = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  Bitmap bitmap;
  bitmap.width = over.width();
  bitmap.height = over.height();
  bitmap.pixels.resize(static_cast<std::size_t>(bitmap.width) * bitmap.height);
  for (int y = 0; y < bitmap.height; ++y) {
    const auto* line = reinterpret_cast<const uint32_t*>(over.constScanLine(y));
    uint32_t* target = &bitmap.pixels[static_cast<std::size_t>(y) * bitmap.width];
    for (int x = 0; x < bitmap.width; ++x) target[x] = line[x] | 0xFF000000u;
  }
  return bitmap;
}

int ScreenDpi(bool horizontal) {
  const auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
  QScreen* screen = app ? QGuiApplication::primaryScreen() : nullptr;
  if (!screen) return kReaderDpi;
  const double dpi = horizontal ? screen->logicalDotsPerInchX() : screen->logicalDotsPerInchY();
  return dpi >= 1.0 ? static_cast<int>(dpi + 0.5) : kReaderDpi;
}

}  // namespace

PictureLoadResult LoadPictureObject(std::span<const uint8_t> bytes, PictureObject& out) {
  // Metafiles are recognised by their header, as the system loader does,
  // whatever the file is called.
  if (LooksLikeMetafile(bytes)) {
    Bitmap drawing;
    switch (RenderMetafile(bytes, drawing)) {
      case MetafileResult::Rendered: break;
      case MetafileResult::OutOfMemory: return PictureLoadResult::OutOfMemory;
      case MetafileResult::Invalid: return PictureLoadResult::Invalid;
    }
    out.pixels = std::move(drawing);
    out.himetricWidth = MulDiv(out.pixels.width, kHimetricPerInch, kReaderDpi);
    out.himetricHeight = MulDiv(out.pixels.height, kHimetricPerInch, kReaderDpi);
    return PictureLoadResult::Loaded;
  }
  QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()),
                                            static_cast<qsizetype>(bytes.size()));
  QBuffer buffer(&data);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer);
  reader.setAutoTransform(false);
  // Drawings that name other pictures by path or address (SVG's image
  // elements) would read files the user never handed over.
  const QByteArray format = reader.format().toLower();
  if (format == "svg" || format == "svgz") return PictureLoadResult::Invalid;
  const QSize size = reader.size();
  if (size.isValid()) {
    // The readers refuse pictures over their allocation limit; that is the
    // loader running out of memory, not a damaged file.
    const int64_t megabytes = static_cast<int64_t>(size.width()) * size.height() * 4 / (1024 * 1024);
    if (QImageReader::allocationLimit() > 0 && megabytes >= QImageReader::allocationLimit()) {
      return PictureLoadResult::OutOfMemory;
    }
  }
  QImage image;
  try {
    image = reader.read();
  } catch (const std::bad_alloc&) {
    return PictureLoadResult::OutOfMemory;
  }
  if (image.isNull()) return PictureLoadResult::Invalid;
  out.pixels = ToBitmap(image);
  out.himetricWidth = MulDiv(out.pixels.width, kHimetricPerInch, kReaderDpi);
  out.himetricHeight = MulDiv(out.pixels.height, kHimetricPerInch, kReaderDpi);
  return PictureLoadResult::Loaded;
}

Bitmap RenderPicture(const PictureObject& picture, int width, int height) {
  if (width <= 0 || height <= 0 || picture.pixels.empty()) return Bitmap{};
  if (width == picture.pixels.width && height == picture.pixels.height) return picture.pixels;
  const QImage view(reinterpret_cast<const uchar*>(picture.pixels.pixels.data()), picture.pixels.width,
                    picture.pixels.height, static_cast<qsizetype>(picture.pixels.width) * 4, QImage::Format_RGB32);
  return ToBitmap(view.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
}

int ScreenLogicalDpiX() { return ScreenDpi(true); }
int ScreenLogicalDpiY() { return ScreenDpi(false); }

}  // namespace qorve
