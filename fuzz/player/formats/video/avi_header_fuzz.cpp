// Any bytes as the head and tail of an AVI file: codec, title and artist stay
// terminated UTF-8 within their fields, and no read goes past the bytes given.
#include "platform/system/text.h"
#include "player/formats/video/video_headers.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  qorve::MediaInfo info;
  std::memset(&info, 0, sizeof info);
  // The same bytes as the file's head and, from their end, its tail.
  const std::string_view tail = bytes.substr(bytes.size() > qorve::kAviTailBytes ? bytes.size() - qorve::kAviTailBytes : 0);
  qorve::ReadAviHeader(bytes.substr(0, qorve::kVideoHeadBytes), tail,
                       [](std::string_view, std::string_view key, std::string_view defaultText) {
                         return key == "MP42" ? std::string("Microsoft MPEG-4 v2") : std::string(defaultText);
                       },
                       info);
  for (const char* field : {info.Title, info.Artist, info.Codec}) {
    const std::size_t length = strnlen(field, 128);
    if (length == 128 || !qorve::IsValidUtf8(std::string_view(field, length))) std::abort();
  }
  return 0;
}
