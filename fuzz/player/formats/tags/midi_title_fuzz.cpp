// Any bytes as a MIDI file's start: the title stays a terminated UTF-8 text
// within its field.
#include "platform/system/text.h"
#include "player/formats/tags/tag_readers.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qorve::MediaInfo info;
  std::memset(&info, 0, sizeof info);
  qorve::ReadMidiTitle(std::string_view(reinterpret_cast<const char*>(data), size), info);
  const std::size_t length = strnlen(info.Title, sizeof info.Title);
  if (length == sizeof info.Title || !qorve::IsValidUtf8(std::string_view(info.Title, length))) std::abort();
  return 0;
}
