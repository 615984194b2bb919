// The ASF (WMA) reader: title and author of the content description object.
#include "player/formats/tags/tag_readers.h"

#include "platform/system/text.h"

#include <algorithm>
#include <cstdint>

namespace qorve {
namespace {

// Object identifiers as they lie in the file (the GUIDs' byte order on disk).
constexpr std::string_view kHeaderObject{"\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C", 16};
constexpr std::string_view kContentDescription{"\x33\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C",
                                               16};
constexpr std::size_t kObjectHeaderBytes = 24;  // identifier and 64-bit size
constexpr std::size_t kHeaderObjectBytes = 30;  // plus object count and two reserved bytes

uint64_t Little(std::string_view bytes, std::size_t at, int count) {
  uint64_t value = 0;
  for (int i = count - 1; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

}  // namespace

void ReadAsfTags(std::string_view head, MediaInfo& info) {
  if (head.size() < kHeaderObjectBytes || head.substr(0, 16) != kHeaderObject) return;
  const uint64_t headerEnd = std::min<uint64_t>(Little(head, 16, 8), head.size());
  // The description need not be the first object: encoders put the file
  // properties first, so the header's objects are walked.
  std::size_t at = kHeaderObjectBytes;
  while (at + kObjectHeaderBytes <= headerEnd) {
    const uint64_t size = Little(head, at + 16, 8);
    if (size < kObjectHeaderBytes || size > headerEnd - at) return;
    if (head.substr(at, 16) == kContentDescription) {
      const std::size_t lengths = at + kObjectHeaderBytes;
      if (lengths + 10 > at + size) return;
      const std::size_t titleBytes = static_cast<std::size_t>(Little(head, lengths, 2));
      const std::size_t authorBytes = static_cast<std::size_t>(Little(head, lengths + 2, 2));
      const std::size_t title = lengths + 10;
      const std::size_t end = static_cast<std::size_t>(at + size);
      if (title + titleBytes <= end) SetInfoText(info.Title, Utf16LeToUtf8(head.substr(title, titleBytes)));
      const std::size_t author = title + titleBytes;
      if (author + authorBytes <= end) SetInfoText(info.Artist, Utf16LeToUtf8(head.substr(author, authorBytes)));
      return;
    }
    at += static_cast<std::size_t>(size);
  }
}

}  // namespace qorve
