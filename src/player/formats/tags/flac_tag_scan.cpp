#include "player/formats/tags/flac_tag_scan.h"

#include "platform/system/text.h"
#include "player/formats/tags/vorbis_comment_text.h"

#include <cstdint>

namespace qorve {

FlacTags ScanFlacTags(std::string_view head) {
  head = head.substr(0, kFlacTagScanBytes);
  FlacTags tags;
  const struct {
    std::string_view name;  // with its "="
    std::string FlacTags::*target;
  } kNames[] = {
      {"TITLE=", &FlacTags::title},
      {"ARTIST=", &FlacTags::artist},
      {"ALBUM=", &FlacTags::album},
  };
  constexpr std::size_t kLengthBytes = 4;
  constexpr uint32_t kMaxBlockBytes = 0xFFFFFF;  // a metadata block's 24-bit length
  for (std::size_t at = kLengthBytes; at < head.size(); ++at) {
    for (const auto& name : kNames) {
      if (head.size() - at < name.name.size()) continue;
      if (!EqualsIgnoreCase(head.substr(at, name.name.size()), name.name)) continue;
      uint32_t entryBytes = 0;
      for (std::size_t i = 0; i < kLengthBytes; ++i) {
        entryBytes |= static_cast<uint32_t>(static_cast<uint8_t>(head[at - kLengthBytes + i])) << (8 * i);
      }
      // Not the start of an entry: a length shorter than the name, or longer
      // than a metadata block can be (the byte before a look-alike such as
      // "SUBTITLE=" is a letter, which makes the length huge).
      if (entryBytes < name.name.size() || entryBytes > kMaxBlockBytes) continue;
      const std::size_t valueStart = at + name.name.size();
      std::string_view value = head.substr(valueStart, entryBytes - name.name.size());
      value = value.substr(0, value.find('\0'));
      tags.*name.target = CommentText(value);
    }
  }
  return tags;
}

}  // namespace qorve
