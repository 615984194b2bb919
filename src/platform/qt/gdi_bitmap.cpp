#include "platform/qt/gdi_bitmap.h"

#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace qorve {
namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kCoreHeaderSize = 12;  // OS/2 1.x BITMAPCOREHEADER
constexpr std::size_t kInfoHeaderSize = 40;  // BITMAPINFOHEADER
constexpr uint32_t kBiBitFields = 3;
constexpr uint32_t kBiAlphaBitFields = 6;
// A DIB whose pixel lines would need more than this is refused rather than
// allocated: 16384 x 16384 pixels of 32 bits.
constexpr uint64_t kLargestDibBytes = 1ull << 30;

uint32_t ReadU32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }
uint16_t ReadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
void PutU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

bool ToBitmap(const QImage& image, Bitmap& out) {
  if (image.isNull()) return false;
  const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
  if (rgb.isNull()) return false;
  out.width = rgb.width();
  out.height = rgb.height();
  out.pixels.resize(static_cast<std::size_t>(out.width) * out.height);
  for (int y = 0; y < out.height; ++y) {
    std::memcpy(&out.pixels[static_cast<std::size_t>(y) * out.width], rgb.constScanLine(y),
                static_cast<std::size_t>(out.width) * 4);
  }
  return true;
}

// The bitmap's pixels seen as a QImage, without a copy; valid while `bitmap`
// is unchanged.
QImage View(const Bitmap& bitmap) {
  return QImage(reinterpret_cast<const uchar*>(bitmap.pixels.data()), bitmap.width, bitmap.height,
                static_cast<qsizetype>(bitmap.width) * 4, QImage::Format_RGB32);
}

// Bytes of the header plus its masks or colour table, as the header declares.
bool DeclaredInfoSize(const uint8_t* info, std::size_t available, std::size_t& size, uint64_t& bitsNeeded) {
  if (available < 4) return false;
  const uint32_t headerSize = ReadU32(info);
  int64_t width = 0, height = 0;
  unsigned bitCount = 0;
  uint32_t compression = 0, colorsUsed = 0;
  std::size_t entrySize = 4;
  if (headerSize == kCoreHeaderSize) {
    if (available < kCoreHeaderSize) return false;
    width = ReadU16(info + 4);
    height = ReadU16(info + 6);
    bitCount = ReadU16(info + 10);
    entrySize = 3;
  } else if (headerSize >= kInfoHeaderSize && headerSize <= 1024) {
    if (available < kInfoHeaderSize) return false;
    width = static_cast<int32_t>(ReadU32(info + 4));
    height = static_cast<int32_t>(ReadU32(info + 8));
    bitCount = ReadU16(info + 14);
    compression = ReadU32(info + 16);
    colorsUsed = ReadU32(info + 32);
  } else {
    return false;
  }
  if (width <= 0 || height == 0) return false;
  uint64_t tableBytes = 0;
  if (headerSize == kInfoHeaderSize && compression == kBiBitFields) tableBytes = 12;
  if (headerSize == kInfoHeaderSize && compression == kBiAlphaBitFields) tableBytes = 16;
  uint64_t colors = colorsUsed;
  if (colors == 0 && bitCount <= 8) colors = 1ull << bitCount;
  colors = std::min<uint64_t>(colors, 256);
  tableBytes += colors * entrySize;
  size = headerSize + static_cast<std::size_t>(tableBytes);
  const uint64_t stride = ((static_cast<uint64_t>(bitCount) * width + 31) / 32) * 4;
  bitsNeeded = stride * static_cast<uint64_t>(height < 0 ? -height : height);
  return bitsNeeded <= kLargestDibBytes;
}

}  // namespace

bool LoadBitmapFile(const std::string& path, Bitmap& out) {
  QImageReader reader(QString::fromStdString(path), "bmp");
  reader.setDecideFormatFromContent(false);
  return ToBitmap(reader.read(), out);
}

bool CreateBitmapFromDib(const void* info, std::size_t infoSize, const void* bits, std::size_t bitsSize,
                         Bitmap& out) {
  if (info == nullptr) return false;
  const auto* header = static_cast<const uint8_t*>(info);
  std::size_t declaredInfo = 0;
  uint64_t bitsNeeded = 0;
  if (!DeclaredInfoSize(header, infoSize, declaredInfo, bitsNeeded)) return false;
  const uint32_t compression = ReadU32(header) >= kInfoHeaderSize ? ReadU32(header + 16) : 0;
  const bool runLength = compression == 1 || compression == 2;
  // Run-length bits end where their data ends; plain lines have a fixed size.
  const std::size_t bitsLength = bits == nullptr ? 0
                                 : runLength     ? std::min<std::size_t>(bitsSize, kLargestDibBytes)
                                                 : static_cast<std::size_t>(bitsNeeded);
  const std::size_t offset = kFileHeaderSize + declaredInfo;
  QByteArray file(static_cast<qsizetype>(offset + bitsLength), '\0');
  auto* data = reinterpret_cast<uint8_t*>(file.data());
  data[0] = 'B';
  data[1] = 'M';
  PutU32(data + 2, static_cast<uint32_t>(file.size()));
  PutU32(data + 10, static_cast<uint32_t>(offset));
  std::memcpy(data + kFileHeaderSize, header, std::min(infoSize, declaredInfo));
  if (bits != nullptr) std::memcpy(data + offset, bits, std::min(bitsSize, bitsLength));
  QImage image;
  if (!image.loadFromData(file, "BMP")) return false;
  return ToBitmap(image, out);
}

void BlitBitmap(QPainter* painter, int x, int y, int width, int height, const Bitmap& bitmap, int sourceX,
                int sourceY) {
  if (painter == nullptr || bitmap.empty() || width <= 0 || height <= 0) return;
  painter->drawImage(QPoint(x, y), View(bitmap), QRect(sourceX, sourceY, width, height));
}

void StretchBitmap(QPainter* painter, int x, int y, int width, int height, const Bitmap& bitmap, int sourceX,
                   int sourceY, int sourceWidth, int sourceHeight, StretchMode mode) {
  if (painter == nullptr || bitmap.empty() || width <= 0 || height <= 0 || sourceWidth <= 0 || sourceHeight <= 0) {
    return;
  }
  const QRect source = QRect(sourceX, sourceY, sourceWidth, sourceHeight) & QRect(0, 0, bitmap.width, bitmap.height);
  if (source.isEmpty()) return;
  QImage part = View(bitmap);
  if (source != part.rect()) part = part.copy(source);
  if (mode == StretchMode::Halftone) {
    // Qt's smooth scaling averages every source pixel when it shrinks, as
    // halftone stretching does; the painter's own filter would only sample.
    // On a high-resolution screen the painter's device has more pixels than
    // the destination's logical size: the picture is scaled to those, or
    // the painter would stretch a picture of the logical size once more.
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatio() : 1.0;
    if (ratio == 1.0 || !(ratio > 0.0)) {
      const QImage scaled = part.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
      painter->drawImage(QPoint(x, y), scaled);
    } else {
      const int deviceWidth = std::max(1, static_cast<int>(std::lround(width * ratio)));
      const int deviceHeight = std::max(1, static_cast<int>(std::lround(height * ratio)));
      QImage scaled = part.scaled(deviceWidth, deviceHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
      scaled.setDevicePixelRatio(ratio);
      painter->drawImage(QPoint(x, y), scaled);
    }
  } else {
    painter->save();
    painter->setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter->drawImage(QRect(x, y, width, height), part);
    painter->restore();
  }
}

}  // namespace qorve
