// Any bytes as the start of an SPC image: the ID666 reader gives valid UTF-8
// texts and a length between 1 and 999 seconds.
#include "platform/system/text.h"
#include "player/formats/tags/id666.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const qorve::Id666 tag = qorve::ReadId666(std::string_view(reinterpret_cast<const char*>(data), size));
  for (const std::string* text : {&tag.title, &tag.game, &tag.artist}) {
    if (!qorve::IsValidUtf8(*text)) std::abort();
  }
  if (tag.seconds < 1 || tag.seconds > 999) std::abort();
  return 0;
}
