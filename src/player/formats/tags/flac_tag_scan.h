// The FLAC class's tags: title, artist and album found by a byte scan of the
// first kilobyte of the file (where a FLAC file's Vorbis comments usually lie),
// without the decoder. Pure function over bytes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qorve {

// How many bytes of the file the scan looks at.
constexpr std::size_t kFlacTagScanBytes = 1024;

struct FlacTags {
  std::string title;   // UTF-8, empty when not found
  std::string artist;
  std::string album;
};

// Looks for the comments TITLE=, ARTIST= and ALBUM= (any case) in the first
// kFlacTagScanBytes of `head`. A comment counts only when the four bytes
// before its name hold its length (little-endian), as every entry of a Vorbis
// comment block does, so "SUBTITLE=" or "ALBUMARTIST=" do not count as TITLE=
// or ARTIST=. The value ends where its entry ends, at the end of the scanned
// bytes, or at a zero byte; it is at most 128 bytes and becomes UTF-8
// (CP932 when it is not). A later comment of the same name replaces an earlier one.
FlacTags ScanFlacTags(std::string_view head);

}  // namespace qorve
