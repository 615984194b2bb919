// The codec list file "Codec": display names of WAVE format tags (section
// "WAV", keys "0x%04X") and of video four-character codes (section "AVI").
#pragma once

#include <string>
#include <string_view>

namespace qorve {

// The name for `key` in `section`, looked up in the settings folder's Codec
// file first, then in the one shipped in the program folder; `defaultText`
// when neither has it. At most 127 bytes of UTF-8.
std::string CodecListText(std::string_view section, std::string_view key, std::string_view defaultText);

}  // namespace qorve
