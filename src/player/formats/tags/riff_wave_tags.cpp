// The RIFF WAVE reader: format fields of the "fmt " chunk (of RIFF and of
// big-endian RIFX files), INFO title and artist near the end of the file, and
// the codec name from the codec list.
#include "player/formats/tags/tag_readers.h"

#include "platform/system/text.h"

#include <cstdint>
#include <cstdio>
#include <optional>

namespace qorve {
namespace {

// RIFF files store their numbers little-endian, RIFX files (the big-endian
// form some Macintosh and Java programs write) big-endian.
uint32_t Read32(std::string_view bytes, std::size_t at, bool bigEndian) {
  const auto b = [&](std::size_t i) { return static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + i])); };
  return bigEndian ? b(0) << 24 | b(1) << 16 | b(2) << 8 | b(3) : b(0) | b(1) << 8 | b(2) << 16 | b(3) << 24;
}
uint16_t Read16(std::string_view bytes, std::size_t at, bool bigEndian) {
  const auto b = [&](std::size_t i) { return static_cast<uint16_t>(static_cast<unsigned char>(bytes[at + i])); };
  return static_cast<uint16_t>(bigEndian ? b(0) << 8 | b(1) : b(0) | b(1) << 8);
}

struct FormatFields {
  std::string_view body;  // the first 16 bytes of the "fmt " chunk
  bool bigEndian = false;
};

// The "fmt " chunk (at least 16 bytes) of a RIFF or RIFX WAVE file. Files
// whose first chunk is another one (LIST, JUNK, bext) are walked past it.
std::optional<FormatFields> FormatChunk(std::string_view head) {
  if (head.size() < 12 || head.substr(8, 4) != "WAVE") return std::nullopt;
  const std::string_view form = head.substr(0, 4);
  if (form != "RIFF" && form != "RIFX") return std::nullopt;
  const bool bigEndian = form == "RIFX";
  std::size_t at = 12;
  while (head.size() >= 8 && at <= head.size() - 8) {
    const std::string_view id = head.substr(at, 4);
    const uint64_t size = Read32(head, at + 4, bigEndian);
    const std::size_t body = at + 8;
    if (id == "fmt ") {
      if (size < 16 || body + 16 > head.size()) return std::nullopt;
      return FormatFields{head.substr(body, 16), bigEndian};
    }
    const uint64_t next = body + size + (size & 1);  // chunks are padded to even sizes
    if (next > head.size()) return std::nullopt;
    at = static_cast<std::size_t>(next);
  }
  return std::nullopt;
}

// The text of an INFO entry starting at `at` in the tail block: up to its
// first zero byte or the block's end.
std::string InfoText(std::string_view tail, std::size_t at) {
  if (at >= tail.size()) return {};
  std::string_view text = tail.substr(at);
  return TextToUtf8(text.substr(0, text.find('\0')));
}

}  // namespace

void ReadRiffWave(std::string_view head, std::string_view tail, const CodecLookup& lookup, MediaInfo& info) {
  const std::optional<FormatFields> format = FormatChunk(head);
  if (format) {
    info.Channels = static_cast<uint8_t>(Read16(format->body, 2, format->bigEndian));
    info.SampleRate = static_cast<int32_t>(Read32(format->body, 4, format->bigEndian));
    info.Bits = static_cast<uint8_t>(Read16(format->body, 14, format->bigEndian));
  }

  // Only the last block is searched: an INFO list elsewhere is not found.
  if (tail.size() > kRiffInfoTailBytes) tail = tail.substr(tail.size() - kRiffInfoTailBytes);
  for (std::size_t at = 0; at + 4 <= tail.size(); ++at) {
    const std::string_view id = tail.substr(at, 4);
    if (EqualsIgnoreCase(id, "INAM")) SetInfoText(info.Title, InfoText(tail, at + 8));
    if (EqualsIgnoreCase(id, "IART")) SetInfoText(info.Artist, InfoText(tail, at + 8));
  }

  if (format && lookup) {
    char key[8];
    std::snprintf(key, sizeof key, "0x%04X", Read16(format->body, 0, format->bigEndian));
    const std::string defaultText = std::string(key) + "(ID値)";
    SetInfoText(info.Codec, lookup("WAV", key, defaultText));
  }
}

}  // namespace qorve
