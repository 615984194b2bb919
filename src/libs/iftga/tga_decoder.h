// Truevision TGA pictures decoded from bytes in memory: colour-mapped,
// true-colour and greyscale, plain or run-length encoded, any origin corner.
// Pure, any thread; used by the iftga.spi image plug-in and its fuzz target.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace qorve::tga {

struct TgaImage {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;  // 0xAARRGGBB, top-down, width per line
};

enum class TgaResult { Ok, NotTga, Broken, TooLarge };

// Pictures with more pixels than this are refused (TooLarge).
constexpr std::size_t kLargestTgaPixels = std::size_t{1} << 28;

// True when the 18-byte header describes a picture this decoder reads (the
// cheap check before a decode; it says nothing of the data that follows).
bool LooksLikeTga(std::span<const uint8_t> head);

TgaResult DecodeTga(std::span<const uint8_t> bytes, TgaImage& out, std::size_t largestPixels = kLargestTgaPixels);

}  // namespace qorve::tga
