// The texts of the display window: the three information lines of sound and
// video, and the error text of an unplayable file with its install hint.
#pragma once

#include "common/settings.h"
#include "player/core/media_file.h"
#include "player/core/string_table.h"

#include <cstdint>
#include <string>

namespace qorve {

struct InfoLineInput {
  MediaInfo info{};
  MediaState state{};
  int listIndex = 0;   // current entry, from 0
  int listCount = 0;   // entries in the file list
  int listSource = 0;  // ListSource: 0 none, 1 playlist, 2 folder
  uint16_t volume = 0;  // master volume 0..65535
  UiLanguage language = UiLanguage::Japanese;
};

struct InfoLines {
  std::string info;    // "[情報] ...": format, file, track, title, artist, album, genre
  std::string detail;  // "[詳細] ...": length, size, codec, sound data
  std::string status;  // "[状態] ...": time, state, list, volume
};

InfoLines BuildInfoLines(const InfoLineInput& input, const Settings& settings);
// The status line alone, as BuildInfoLines makes it: the display asks for it
// to tell whether a refresh of the time line would show anything new.
std::string BuildStatusLine(const InfoLineInput& input, const Settings& settings);

struct ErrorText {
  std::string message;
  std::string hint;  // "" when no missing component is known
};

// `message` is the media object's error text; `component` the Codec field
// naming what is missing.
ErrorText BuildErrorText(const std::string& message, const std::string& component, UiLanguage language);

// Formats one string-table item with its arguments. Only %d (int), %s (text)
// and %f (double) with flags, width and precision are conversions; any other
// "%" (the English volume item ends in "% ") stands for itself, and an
// argument of the wrong type leaves its conversion as written.
struct FormatArgument {
  enum class Type { Int, Double, Text } type;
  int integer = 0;
  double real = 0;
  const char* text = "";
  FormatArgument(int value) : type(Type::Int), integer(value) {}
  FormatArgument(double value) : type(Type::Double), real(value) {}
  FormatArgument(const char* value) : type(Type::Text), text(value) {}
};
std::string FormatItem(const std::string& pattern, std::initializer_list<FormatArgument> arguments);

}  // namespace qorve
