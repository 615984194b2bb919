// The MIO class's tags: title, artist, album and genre found by a byte scan of
// the start of an MIO file, up to its first sound chunk. Pure function over
// bytes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qorve {

// How many bytes of the file the scan looks at (the tags lie in the header
// records, ahead of the sound).
constexpr std::size_t kMioTagScanBytes = 1 << 20;

struct MioTags {
  std::string title;  // UTF-8, empty when not found
  std::string artist;
  std::string album;
  std::string genre;
};

// Two forms are read, each until the "SoundStm" marker:
// - 8-bit key lines: "#" and a key (TITLE, VOCAL-PLAYER, SOURCE, GENRE in any
//   case) on a line of at most 15 bytes, then a value line of which at most 64
//   bytes are read and the line end (or, cut, the last two bytes) dropped, so
//   at most 62 bytes remain; Shift-JIS or UTF-8;
// - a "descript" record in UTF-16LE (byte-order mark FF FE), as MIO writers
//   store tags: "#name" lines (lower-case names), the first line of each value,
//   cut to 62 characters.
// A later tag of the same name replaces an earlier one.
MioTags ScanMioTags(std::string_view bytes);

}  // namespace qorve
