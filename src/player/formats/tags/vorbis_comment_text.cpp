#include "player/formats/tags/vorbis_comment_text.h"

#include "platform/system/text.h"

namespace qorve {

std::string CommentText(std::string_view value) {
  if (IsValidUtf8(value)) return std::string(CutUtf8(value, kCommentValueBytes));
  return std::string(CutUtf8(TextToUtf8(value.substr(0, kCommentValueBytes)), kCommentValueBytes));
}

}  // namespace qorve
