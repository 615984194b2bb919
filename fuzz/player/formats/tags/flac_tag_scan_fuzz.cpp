// Any bytes as a FLAC file's first kilobyte: the tag scan returns valid UTF-8
// of at most 128 bytes per tag and reads nothing past the bytes it was given.
#include "platform/system/text.h"
#include "player/formats/tags/flac_tag_scan.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const qorve::FlacTags tags = qorve::ScanFlacTags(bytes);
  for (const std::string* text : {&tags.title, &tags.artist, &tags.album}) {
    if (text->size() > 128 || !qorve::IsValidUtf8(*text)) std::abort();
  }
  return 0;
}
