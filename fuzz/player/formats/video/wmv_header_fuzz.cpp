// Any bytes as the head of a WMV file: title and author stay terminated UTF-8
// within their fields, and no read goes past the bytes given.
#include "platform/system/text.h"
#include "player/formats/video/video_headers.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qorve::MediaInfo info;
  std::memset(&info, 0, sizeof info);
  qorve::ReadWmvHeader(std::string_view(reinterpret_cast<const char*>(data), size), info);
  for (const char* field : {info.Title, info.Artist}) {
    const std::size_t length = strnlen(field, 128);
    if (length == 128 || !qorve::IsValidUtf8(std::string_view(field, length))) std::abort();
  }
  return 0;
}
