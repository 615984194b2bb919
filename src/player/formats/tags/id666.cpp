#include "player/formats/tags/id666.h"

#include "platform/system/text.h"

namespace qorve {
namespace {

constexpr std::size_t kTitleAt = 0x2E;
constexpr std::size_t kGameAt = 0x4E;
constexpr std::size_t kSecondsAt = 0xA9;
constexpr std::size_t kArtistAt = 0xB1;
constexpr std::size_t kTextBytes = 32;
constexpr std::size_t kSecondsDigits = 3;

std::string Text(std::string_view image, std::size_t at) {
  if (at >= image.size()) return {};
  std::string_view field = image.substr(at, kTextBytes);
  field = field.substr(0, field.find('\0'));
  return TextToUtf8(field);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

Id666 ReadId666(std::string_view image) {
  Id666 tag;
  tag.title = Text(image, kTitleAt);
  tag.game = Text(image, kGameAt);
  tag.artist = Text(image, kArtistAt);
  int seconds = 0;
  for (std::size_t i = 0; i < kSecondsDigits && kSecondsAt + i < image.size() && IsDigit(image[kSecondsAt + i]); ++i) {
    seconds = seconds * 10 + (image[kSecondsAt + i] - '0');
  }
  if (seconds > 0) tag.seconds = seconds;
  return tag;
}

}  // namespace qorve
