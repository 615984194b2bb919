#include "tga_decoder.h"

#include <algorithm>

namespace qorve::tga {
namespace {

constexpr std::size_t kHeaderSize = 18;

enum ImageType : uint8_t {
  kColorMapped = 1,
  kTrueColor = 2,
  kGrey = 3,
  kRleColorMapped = 9,
  kRleTrueColor = 10,
  kRleGrey = 11,
};

struct Header {
  uint8_t idLength;
  uint8_t colorMapType;
  uint8_t imageType;
  uint16_t mapFirst;
  uint16_t mapLength;
  uint8_t mapEntryBits;
  uint16_t width;
  uint16_t height;
  uint8_t pixelBits;
  uint8_t descriptor;
};

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

Header ReadHeader(const uint8_t* p) {
  return Header{p[0], p[1], p[2], U16(p + 3), U16(p + 5), p[7], U16(p + 12), U16(p + 14), p[16], p[17]};
}

bool ValidHeader(const Header& h) {
  const uint8_t base = h.imageType & 7;
  if (h.imageType != base && h.imageType != base + 8) return false;
  if (h.width == 0 || h.height == 0 || h.colorMapType > 1) return false;
  switch (base) {
    case kColorMapped:
      return h.colorMapType == 1 && (h.pixelBits == 8 || h.pixelBits == 16) && h.mapLength > 0 &&
             (h.mapEntryBits == 15 || h.mapEntryBits == 16 || h.mapEntryBits == 24 || h.mapEntryBits == 32);
    case kTrueColor:
      return h.pixelBits == 15 || h.pixelBits == 16 || h.pixelBits == 24 || h.pixelBits == 32;
    case kGrey:
      return h.pixelBits == 8 || h.pixelBits == 16;
    default:
      return false;
  }
}

// A colour of `bits` bits stored little-endian at p. 15/16-bit colours are
// 5-5-5 (the top bit of 16 is an attribute, not alpha: pictures are opaque).
uint32_t ColorOf(const uint8_t* p, int bits) {
  switch (bits) {
    case 15:
    case 16: {
      const unsigned v = U16(p);
      const auto expand = [](unsigned c) { return (c << 3) | (c >> 2); };
      return 0xFF000000u | expand((v >> 10) & 31) << 16 | expand((v >> 5) & 31) << 8 | expand(v & 31);
    }
    case 24:
      return 0xFF000000u | static_cast<uint32_t>(p[2]) << 16 | p[1] << 8 | p[0];
    default:
      return static_cast<uint32_t>(p[3]) << 24 | static_cast<uint32_t>(p[2]) << 16 | p[1] << 8 | p[0];
  }
}

}  // namespace

bool LooksLikeTga(std::span<const uint8_t> head) {
  return head.size() >= kHeaderSize && ValidHeader(ReadHeader(head.data()));
}

TgaResult DecodeTga(std::span<const uint8_t> bytes, TgaImage& out, std::size_t largestPixels) {
  out = TgaImage{};
  if (!LooksLikeTga(bytes)) return TgaResult::NotTga;
  const Header h = ReadHeader(bytes.data());
  const std::size_t count = static_cast<std::size_t>(h.width) * h.height;
  if (count > largestPixels) return TgaResult::TooLarge;

  std::size_t position = kHeaderSize + h.idLength;
  const uint8_t base = h.imageType & 7;
  std::vector<uint32_t> map;
  if (h.colorMapType == 1) {
    const std::size_t entryBytes = (h.mapEntryBits + 7u) / 8u;
    const std::size_t mapBytes = entryBytes * h.mapLength;
    if (position > bytes.size() || bytes.size() - position < mapBytes) return TgaResult::Broken;
    // A colour-mapped picture uses the map; others carry one only to skip.
    if (base == kColorMapped) {
      map.resize(h.mapLength);
      for (std::size_t i = 0; i < h.mapLength; ++i) map[i] = ColorOf(&bytes[position + i * entryBytes], h.mapEntryBits);
    }
    position += mapBytes;
  }

  const std::size_t pixelBytes = (h.pixelBits + 7u) / 8u;
  // One stored pixel value to a colour; false for an index outside the map.
  const auto decode = [&](const uint8_t* p, uint32_t& colour) {
    switch (base) {
      case kColorMapped: {
        const unsigned index = pixelBytes == 1 ? p[0] : U16(p);
        if (index < h.mapFirst || index - h.mapFirst >= map.size()) return false;
        colour = map[index - h.mapFirst];
        return true;
      }
      case kGrey:
        colour = 0xFF000000u | p[0] * 0x010101u;
        return true;
      default:
        colour = ColorOf(p, h.pixelBits);
        if (h.pixelBits == 32 && (h.descriptor & 15) == 0) colour |= 0xFF000000u;  // no alpha bits
        return true;
    }
  };

  std::vector<uint32_t> stored(count);
  const bool runLength = h.imageType >= 8;
  std::size_t done = 0;
  while (done < count) {
    std::size_t run = 1;
    bool repeat = false;
    if (runLength) {
      if (position >= bytes.size()) return TgaResult::Broken;
      const uint8_t packet = bytes[position++];
      run = (packet & 0x7Fu) + 1u;
      repeat = (packet & 0x80u) != 0;
      // Packets may cross lines but never the end of the picture.
      run = std::min(run, count - done);
    } else {
      run = count;
    }
    const std::size_t values = repeat ? 1 : run;
    if (position > bytes.size() || (bytes.size() - position) / pixelBytes < values) return TgaResult::Broken;
    for (std::size_t i = 0; i < run; ++i) {
      const uint8_t* p = &bytes[position + (repeat ? 0 : i * pixelBytes)];
      if (!decode(p, stored[done + i])) return TgaResult::Broken;
    }
    position += values * pixelBytes;
    done += run;
  }

  // Stored lines run bottom-up unless bit 5 says top-down; bit 4 says right
  // to left.
  const bool topDown = (h.descriptor & 0x20u) != 0;
  const bool rightToLeft = (h.descriptor & 0x10u) != 0;
  out.width = h.width;
  out.height = h.height;
  out.pixels.resize(count);
  for (int line = 0; line < h.height; ++line) {
    const int target = topDown ? line : h.height - 1 - line;
    const uint32_t* source = &stored[static_cast<std::size_t>(line) * h.width];
    uint32_t* row = &out.pixels[static_cast<std::size_t>(target) * h.width];
    if (rightToLeft) {
      std::reverse_copy(source, source + h.width, row);
    } else {
      std::copy(source, source + h.width, row);
    }
  }
  return TgaResult::Ok;
}

}  // namespace qorve::tga
