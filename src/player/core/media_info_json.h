// The description of a loaded media object as one line of JSON, for tools and
// scripts (qorve-info).
#pragma once

#include "player/core/media_file.h"

#include <string>
#include <string_view>

namespace qorve {

// `text` as a JSON string literal, quotes included: quote, backslash and
// control characters escaped (\u00XX), text that is not UTF-8 decoded as CP932.
std::string JsonString(std::string_view text);

// One JSON object without a line break: the result code, every MediaInfo field
// (keys result, kind, format, fileName, title, artist, album, codec, genre,
// length, width, height, track, sampleRate, channels, bits, bitrate), for
// kind 0 only errorText, and then `moreFields`: further members already
// written as JSON, e.g. "archive":{...}.
std::string MediaInfoJson(int result, const MediaInfo& info, std::string_view errorText,
                          std::string_view moreFields = {});

}  // namespace qorve
