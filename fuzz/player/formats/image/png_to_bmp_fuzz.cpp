// Any bytes as a PNG file: the decode either fails with nothing kept or gives
// a picture whose lines, colour table and BMP file have the sizes the format
// says.
#include "player/formats/image/png_to_bmp.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qorve::PngDib dib;
  if (!qorve::DecodePng({data, size}, dib, std::size_t{16} << 20)) {
    if (!dib.pixels.empty() || !dib.palette.empty()) std::abort();
    return 0;
  }
  const int bits = dib.bitsPerPixel;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24) std::abort();
  if (dib.pixels.size() != dib.Stride() * static_cast<std::size_t>(dib.height)) std::abort();
  if (dib.palette.size() != (bits == 24 ? 0 : std::size_t{3} << bits)) std::abort();
  const std::vector<uint8_t> file = qorve::BmpFileBytes(dib);
  if (file.size() != 54 + 4 * (dib.palette.size() / 3) + dib.pixels.size()) std::abort();
  return 0;
}
