// Any bytes as a Windows Metafile, drawn through libwmf in a child process as
// the picture loader draws it (bounded to 512 pixels a side and one second,
// so that each input runs quickly): either refused with the bitmap
// untouched, or a picture of the size it says and no larger than the bound.
#include "platform/picture/metafile.h"

#include <chrono>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr int kLargestSide = 512;
  qorve::Bitmap bitmap;
  if (qorve::RenderMetafile({data, size}, bitmap, kLargestSide, std::chrono::seconds(1)) !=
      qorve::MetafileResult::Rendered) {
    if (!bitmap.pixels.empty()) std::abort();
    return 0;
  }
  if (bitmap.width < 1 || bitmap.height < 1 || bitmap.width > kLargestSide || bitmap.height > kLargestSide) {
    std::abort();
  }
  if (bitmap.pixels.size() != static_cast<std::size_t>(bitmap.width) * bitmap.height) std::abort();
  for (const uint32_t pixel : bitmap.pixels) {
    if ((pixel >> 24) != 0xFF) std::abort();
  }
  return 0;
}
