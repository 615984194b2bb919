// Any bytes as a WAVE file (its first bytes and its last 128): every text
// field stays terminated UTF-8 within its size.
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
  const auto lookup = [](std::string_view, std::string_view, std::string_view defaultText) {
    return std::string(defaultText);
  };
  qorve::ReadRiffWave(bytes, bytes.substr(size > 128 ? size - 128 : 0), lookup, info);
  CheckField(info.Title);
  CheckField(info.Artist);
  CheckField(info.Codec);
  return 0;
}
