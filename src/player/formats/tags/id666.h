// The ID666 text tag of an SPC sound image: song title, game title, artist and
// the play length in seconds.
#pragma once

#include <string>
#include <string_view>

namespace qorve {

constexpr double kDefaultSpcSeconds = 180.0;

struct Id666 {
  std::string title;   // UTF-8
  std::string game;    // UTF-8
  std::string artist;  // UTF-8
  double seconds = kDefaultSpcSeconds;
};

// Reads the tag from the first bytes of an SPC file (any length; missing bytes
// count as zero). Each text stops at its first zero byte or at the end of its
// 32-byte field and is taken as CP932 unless it is valid UTF-8. The length is
// the decimal value of the leading digits of the 3 characters at 0xA9; when
// the first is not a digit (a tag that stores it as a number) or the value is
// 0, it is 180 seconds.
Id666 ReadId666(std::string_view image);

}  // namespace qorve
