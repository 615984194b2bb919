// How a Vorbis comment value (the tags of Ogg Vorbis and FLAC files) becomes
// the text of a MediaInfo field.
#pragma once

#include "player/core/media_file.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace qorve {

// The longest a comment value may be: longer values are cut to this many bytes.
constexpr std::size_t kCommentValueBytes = 128;

// The value as UTF-8, at most kCommentValueBytes bytes and cut at a character
// boundary. Comments are UTF-8 by definition; a value that is not (written by
// an old Japanese tagger) is read as CP932 from its first kCommentValueBytes.
std::string CommentText(std::string_view value);

// Stores CommentText(value) in a MediaInfo field, cut again to fit it.
template <std::size_t N>
void StoreComment(char (&field)[N], std::string_view value) {
  SetInfoText(field, CommentText(value));
}

}  // namespace qorve
