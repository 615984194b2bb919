// Any bytes as a TGA picture: the decoder reports it broken or not a TGA, or
// gives width x height pixels; it never reads past the bytes it is given.
#include "tga_decoder.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qorve::tga::TgaImage image;
  const qorve::tga::TgaResult result = qorve::tga::DecodeTga({data, size}, image, std::size_t{1} << 22);
  if (result == qorve::tga::TgaResult::Ok) {
    if (image.width <= 0 || image.height <= 0) std::abort();
    if (image.pixels.size() != static_cast<std::size_t>(image.width) * image.height) std::abort();
  } else if (!image.pixels.empty()) {
    std::abort();
  }
  return 0;
}
