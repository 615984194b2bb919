// PNG pictures turned into Windows bitmaps: libpng decodes into a bottom-up
// device-independent layout (1, 4, 8 bits with a colour table, or 24-bit
// BGR), which is written out as a BMP file. Pure over bytes, any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace qorve {

struct PngDib {
  int width = 0;
  int height = 0;                // lines are bottom-up
  int bitsPerPixel = 0;          // 1, 4, 8 or 24
  std::vector<uint8_t> palette;  // 3 bytes (red, green, blue) per entry; 2^bits entries, none for 24
  std::vector<uint8_t> pixels;   // height lines of Stride() bytes, the last line first
  std::size_t Stride() const { return ((static_cast<std::size_t>(bitsPerPixel) * width + 31) / 32) * 4; }
};

// Pictures whose pixel lines would take more bytes than this are not decoded.
constexpr std::size_t kLargestPngDibBytes = std::size_t{1} << 30;

// Decodes a PNG: RGB and RGBA become 24-bit BGR (alpha dropped, 16-bit
// samples cut to 8), grey and palette pictures keep their depth (2 bits
// widened to 4, 16 cut to 8) with a colour table of 2^bits entries: the
// palette, or the grey ramp of the picture's depth. False (and `out` empty)
// for anything libpng refuses or a picture over `largestBytes`.
bool DecodePng(std::span<const uint8_t> bytes, PngDib& out, std::size_t largestBytes = kLargestPngDibBytes);

// The BMP file of a decoded picture: 14-byte file header, 40-byte information
// header, colour table of 4-byte entries (blue, green, red, 0), pixel lines.
std::vector<uint8_t> BmpFileBytes(const PngDib& dib);

}  // namespace qorve
