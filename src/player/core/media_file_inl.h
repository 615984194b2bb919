// Template part of media_file.h.
#pragma once

#include "platform/system/text.h"

namespace qorve {

template <std::size_t N>
void SetInfoText(char (&field)[N], std::string_view text) {
  CopyToBuffer(text, field, N);
}

}  // namespace qorve
