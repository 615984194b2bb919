// Any bytes as an MP3 file: the first bytes go to the ID3v2 reader, the last
// 128 to the ID3v1 reader; every text field stays terminated UTF-8 within its
// size and the tag size never reads past the bytes given.
#include "platform/system/text.h"
#include "player/formats/tags/tag_readers.h"

#include <cstdlib>
#include <cstring>

namespace {
template <std::size_t N>
void CheckField(const char (&field)[N]) {
  const std::size_t length = strnlen(field, N);
  if (length == N || !qorve::IsValidUtf8(std::string_view(field, length))) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  qorve::MediaInfo info;
  std::memset(&info, 0, sizeof info);
  const std::string_view last128 = size >= 128 ? bytes.substr(size - 128) : std::string_view();
  qorve::ReadId3(bytes, last128, info);
  CheckField(info.Title);
  CheckField(info.Artist);
  CheckField(info.Album);
  CheckField(info.Genre);
  return 0;
}
