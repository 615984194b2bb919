// platform/picture/: GDI bitmaps, metafiles and image plug-ins.
//
// The memory bitmap that stands in for a device-dependent bitmap selected into
// a memory drawing context: the picture as the screen shows it, 32-bit pixels.
#pragma once

#include <cstdint>
#include <vector>

namespace qorve {

// Pixels are 0xFFRRGGBB (opaque, as a screen-compatible bitmap has no alpha),
// top-down, `width` pixels per line with no padding.
struct Bitmap {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;

  bool empty() const { return width <= 0 || height <= 0; }
  uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

}  // namespace qorve
