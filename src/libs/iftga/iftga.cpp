// iftga.spi: an image plug-in that reads Truevision TGA pictures, the example
// of the plug-in interface in platform/susie_plugin_abi.h. Pictures come out
// as 24-bit bottom-up device-independent bitmaps.
#include "platform/picture/susie_plugin_abi.h"
#include "tga_decoder.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string_view>
#include <vector>

namespace {

constexpr std::size_t kInfoHeaderBytes = 40;
constexpr std::streamoff kLargestFile = std::streamoff{1} << 30;

bool HasTgaExtension(const char* filename) {
  const std::string_view name(filename);
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || name.find('/', dot) != std::string_view::npos) return false;
  return strcasecmp(filename + dot, ".tga") == 0;
}

void PutU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

int ReadFile(const char* path, std::streamoff offset, std::vector<uint8_t>& out) {
  std::ifstream file(path, std::ios::binary | std::ios::ate);
  if (!file) return SUSIE_READ_ERROR;
  const std::streamoff size = file.tellg();
  if (size < offset || size - offset > kLargestFile) return SUSIE_READ_ERROR;
  file.seekg(offset);
  out.resize(static_cast<std::size_t>(size - offset));
  if (!out.empty() && !file.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(out.size()))) {
    return SUSIE_READ_ERROR;
  }
  return SUSIE_SUCCESS;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int GetPluginInfo(int infono, char* buf, int buflen) {
  static const char* const kInfo[] = {"00IN", "TGA reader of QORVE", "*.tga", "Truevision TGA"};
  if (infono < 0 || infono >= 4 || buf == nullptr || buflen <= 0) return 0;
  std::snprintf(buf, static_cast<std::size_t>(buflen), "%s", kInfo[infono]);
  return static_cast<int>(std::strlen(buf));
}

__attribute__((visibility("default"))) int IsSupported(const char* filename, uintptr_t dw) {
  if (filename == nullptr || dw == 0 || !HasTgaExtension(filename)) return 0;
  const auto* head = reinterpret_cast<const uint8_t*>(dw);
  return qorve::tga::LooksLikeTga({head, SUSIE_HEAD_SIZE}) ? 1 : 0;
}

__attribute__((visibility("default"))) int GetPicture(const char* buf, intptr_t len, unsigned int flag, void** pHBInfo,
                                                      void** pHBm, SusieProgressCallback progress, intptr_t lData) {
  if (buf == nullptr || pHBInfo == nullptr || pHBm == nullptr) return SUSIE_INTERNAL_ERROR;
  std::vector<uint8_t> bytes;
  std::span<const uint8_t> input;
  if ((flag & 7u) == SUSIE_INPUT_FILE) {
    const int read = ReadFile(buf, static_cast<std::streamoff>(len), bytes);
    if (read != SUSIE_SUCCESS) return read;
    input = bytes;
  } else if ((flag & 7u) == SUSIE_INPUT_MEMORY) {
    if (len < 0) return SUSIE_INTERNAL_ERROR;
    input = {reinterpret_cast<const uint8_t*>(buf), static_cast<std::size_t>(len)};
  } else {
    return SUSIE_NOT_IMPLEMENTED;
  }
  if (progress != nullptr && progress(0, 1, lData) != 0) return SUSIE_CANCELLED;

  qorve::tga::TgaImage image;
  switch (qorve::tga::DecodeTga(input, image)) {
    case qorve::tga::TgaResult::Ok: break;
    case qorve::tga::TgaResult::NotTga: return SUSIE_UNKNOWN_FORMAT;
    case qorve::tga::TgaResult::Broken: return SUSIE_BROKEN_DATA;
    case qorve::tga::TgaResult::TooLarge: return SUSIE_NO_MEMORY;
  }

  const std::size_t stride = (static_cast<std::size_t>(image.width) * 3 + 3) / 4 * 4;
  const std::size_t bitsBytes = stride * image.height;
  auto* info = static_cast<uint8_t*>(std::calloc(1, kInfoHeaderBytes));
  auto* bits = static_cast<uint8_t*>(std::calloc(1, bitsBytes));
  if (info == nullptr || bits == nullptr) {
    std::free(info);
    std::free(bits);
    return SUSIE_NO_MEMORY;
  }
  PutU32(info, kInfoHeaderBytes);
  PutU32(info + 4, static_cast<uint32_t>(image.width));
  PutU32(info + 8, static_cast<uint32_t>(image.height));  // positive: bottom-up lines
  info[12] = 1;                                              // planes
  info[14] = 24;                                             // bits per pixel
  PutU32(info + 20, static_cast<uint32_t>(bitsBytes));
  for (int y = 0; y < image.height; ++y) {
    const uint32_t* source = &image.pixels[static_cast<std::size_t>(image.height - 1 - y) * image.width];
    uint8_t* line = bits + static_cast<std::size_t>(y) * stride;
    for (int x = 0; x < image.width; ++x) {
      line[x * 3] = static_cast<uint8_t>(source[x]);
      line[x * 3 + 1] = static_cast<uint8_t>(source[x] >> 8);
      line[x * 3 + 2] = static_cast<uint8_t>(source[x] >> 16);
    }
  }
  if (progress != nullptr) progress(1, 1, lData);
  *pHBInfo = info;
  *pHBm = bits;
  return SUSIE_SUCCESS;
}

}  // extern "C"
