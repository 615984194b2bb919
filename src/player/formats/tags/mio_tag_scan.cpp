#include "player/formats/tags/mio_tag_scan.h"

#include "platform/system/text.h"

#include <cstdint>

namespace qorve {
namespace {

constexpr std::size_t kKeyBytes = 15;
constexpr std::size_t kValueBytes = 64;
constexpr std::size_t kValueCharacters = 62;

std::string* FieldFor(MioTags& tags, std::string_view key) {
  if (EqualsIgnoreCase(key, "TITLE")) return &tags.title;
  if (EqualsIgnoreCase(key, "VOCAL-PLAYER")) return &tags.artist;
  if (EqualsIgnoreCase(key, "SOURCE")) return &tags.album;
  if (EqualsIgnoreCase(key, "GENRE")) return &tags.genre;
  return nullptr;
}

// Reads a line of at most `limit` bytes from `at`: up to and including a line
// feed, whose line end (LF or CR LF) is then dropped; a line cut by the limit
// loses its last two bytes, as a CR LF would be.
std::string_view ReadLine(std::string_view bytes, std::size_t& at, std::size_t limit) {
  const std::size_t start = at;
  std::size_t length = 0;
  bool lineFeed = false;
  while (at < bytes.size() && length < limit) {
    ++length;
    if (bytes[at++] == '\n') {
      lineFeed = true;
      break;
    }
  }
  std::string_view line = bytes.substr(start, length);
  if (lineFeed) {
    line.remove_suffix(1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  } else {
    line.remove_suffix(std::min<std::size_t>(2, line.size()));
  }
  return line;
}

// The first `count` characters of UTF-8 text.
std::string FirstCharacters(std::string_view text, std::size_t count) {
  std::size_t at = 0;
  for (std::size_t n = 0; n < count && at < text.size(); ++n) {
    ++at;
    while (at < text.size() && (static_cast<uint8_t>(text[at]) & 0xC0) == 0x80) ++at;
  }
  return std::string(text.substr(0, at));
}

// "#name" lines of a UTF-16LE description; each value is the line after its
// name ("##" standing for a literal "#").
void ReadDescription(std::string_view payload, MioTags& tags) {
  const std::string text = Utf16LeToUtf8(payload.substr(2));
  if (text.empty() || text[0] != '#') return;  // a plain comment
  std::size_t at = 0;
  std::string* pending = nullptr;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + at, end - at);
    at = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() >= 1 && line[0] == '#' && (line.size() < 2 || line[1] != '#')) {
      line.remove_prefix(1);
      while (!line.empty() && (line[0] == ' ' || line[0] == '\t')) line.remove_prefix(1);
      std::size_t nameEnd = 0;
      while (nameEnd < line.size() && static_cast<uint8_t>(line[nameEnd]) > 0x20) ++nameEnd;
      pending = FieldFor(tags, line.substr(0, nameEnd));
      continue;
    }
    if (pending == nullptr) continue;
    if (line.starts_with("##")) line.remove_prefix(1);
    *pending = FirstCharacters(line, kValueCharacters);
    pending = nullptr;
  }
}

uint64_t ReadU64(std::string_view bytes, std::size_t at) {
  uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(bytes[at + static_cast<std::size_t>(i)]);
  return value;
}

}  // namespace

MioTags ScanMioTags(std::string_view bytes) {
  MioTags tags;
  bytes = bytes.substr(0, kMioTagScanBytes);
  std::size_t at = 0;
  while (at < bytes.size()) {
    const char c = bytes[at++];
    if (c == '#') {
      const std::string_view key = ReadLine(bytes, at, kKeyBytes);
      if (std::string* field = FieldFor(tags, key)) *field = TextToUtf8(ReadLine(bytes, at, kValueBytes));
    } else if (c == 'S') {
      if (bytes.substr(at, 7) == "oundStm") break;
    } else if (c == 'd' && bytes.substr(at, 7) == "escript" && bytes.size() - at >= 15) {
      const std::size_t payload = at + 15;
      const uint64_t length = std::min<uint64_t>(ReadU64(bytes, at + 7), bytes.size() - payload);
      const std::string_view record = bytes.substr(payload, static_cast<std::size_t>(length));
      if (record.starts_with("\xFF\xFE")) {
        ReadDescription(record, tags);
        at = payload + record.size();
      }
    }
  }
  return tags;
}

}  // namespace qorve
