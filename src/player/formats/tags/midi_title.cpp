// The MIDI title reader: the first track's name event of a standard MIDI file.
#include "player/formats/tags/tag_readers.h"

#include "platform/system/text.h"

#include <algorithm>

namespace qorve {
namespace {

constexpr std::size_t kTrackChunkAt = 14;
constexpr std::size_t kFirstEventAt = 22;  // delta time of the first track's first event
constexpr std::size_t kTitleFieldBytes = 128;

}  // namespace

void ReadMidiTitle(std::string_view head, MediaInfo& info) {
  // 00 FF 03 <length> <text>: a track-name meta event at delta 0. The length
  // is a variable-length number; a name is never longer than the field.
  if (head.size() <= kFirstEventAt + 3 || head.substr(kTrackChunkAt, 4) != "MTrk") return;
  const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(head[at]); };
  if (byte(kFirstEventAt) != 0x00 || byte(kFirstEventAt + 1) != 0xFF || byte(kFirstEventAt + 2) != 0x03) return;

  std::size_t at = kFirstEventAt + 3;
  std::size_t length = 0;
  for (int i = 0; i < 4 && at < head.size(); ++i) {
    const unsigned char part = byte(at++);
    length = (length << 7) | (part & 0x7F);
    if ((part & 0x80) == 0) break;
  }
  if (at >= head.size()) return;
  std::string_view text = head.substr(at, std::min(length, kTitleFieldBytes - 1));
  text = text.substr(0, text.find('\0'));
  // A first byte that is a control byte or beyond ASCII (a Shift-JIS lead
  // byte among them) shows no title.
  if (text.empty() || byte(at) < 0x20 || byte(at) > 0x7F) {
    info.Title[0] = '\0';
    return;
  }
  SetInfoText(info.Title, TextToUtf8(text));
}

}  // namespace qorve
