// A test image plug-in: it accepts every file that starts like a JPEG and
// "decodes" it into a 3 x 2 picture of fixed colours (8 bits with a colour
// table, bottom-up), so that a test can tell its picture from a real decode.
#include "platform/picture/susie_plugin_abi.h"

#include <cstdlib>
#include <cstring>

extern "C" {

__attribute__((visibility("default"))) int IsSupported(const char*, uintptr_t dw) {
  const auto* head = reinterpret_cast<const unsigned char*>(dw);
  return head != nullptr && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF;
}

__attribute__((visibility("default"))) int GetPicture(const char*, intptr_t, unsigned int, void** pHBInfo,
                                                      void** pHBm, SusieProgressCallback, intptr_t) {
  const std::size_t infoSize = 40 + 4 * 4;
  auto* info = static_cast<unsigned char*>(std::calloc(1, infoSize));
  auto* bits = static_cast<unsigned char*>(std::calloc(2, 4));
  info[0] = 40;
  info[4] = 3;   // width
  info[8] = 2;   // height, bottom-up
  info[12] = 1;  // planes
  info[14] = 8;  // bits per pixel
  info[32] = 4;  // colours used
  const unsigned char table[16] = {0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0, 255, 255, 255, 0};  // blue, green, red, 0
  std::memcpy(info + 40, table, sizeof table);
  const unsigned char lines[8] = {0, 1, 2, 0, 3, 3, 0, 0};  // bottom line first
  std::memcpy(bits, lines, sizeof lines);
  *pHBInfo = info;
  *pHBm = bits;
  return SUSIE_SUCCESS;
}

}  // extern "C"
