// Any bytes as a Monkey's Audio file: the header parser either refuses them or
// describes frames that start inside the bytes, with a consistent count.
#include "ape_header.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  monkeys_audio::MemoryReader reader(std::string_view(reinterpret_cast<const char*>(data), size));
  monkeys_audio::ApeHeader header;
  std::string why;
  if (!monkeys_audio::ParseApeHeader(reader, header, why)) return 0;
  if (header.frames.size() != header.totalFrames || header.totalBlocks == 0) std::abort();
  for (std::size_t i = 0; i < header.frames.size(); ++i) {
    if (header.frames[i].pos >= size || header.frames[i].size == 0) std::abort();
  }
  return 0;
}
