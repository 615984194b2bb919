// The header readers of the video classes: the AVI codec code and the INFO
// text at the end of an AVI file, and the title and author of a WMV file
// whose content description follows the header object at once. Plain
// functions over bytes that never fail: what the bytes do not hold leaves the
// field as it was. ReadVideoHeaderFile reads the bytes from a file.
#pragma once

#include "player/core/media_file.h"
#include "player/formats/tags/tag_readers.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace qorve {

// The file's first bytes both readers need, and the AVI reader's tail.
constexpr std::size_t kVideoHeadBytes = 512;
constexpr std::size_t kAviTailBytes = 64;

// AVI: Codec from the compression code of the first stream format (offset
// 188), or, when that starts with a letter or digit, from the stream
// header's handler code (offset 112): the code cut to 4 characters, looked up
// upper-cased in the codec list's section "AVI", default "%s(ID値)" with the
// code as read. Title and Artist from a LIST INFO chunk (INAM, then IART)
// within `tail`, the file's last kAviTailBytes bytes.
void ReadAviHeader(std::string_view head, std::string_view tail, const CodecLookup& lookup, MediaInfo& info);

// WMV: Title and Artist, UTF-16LE text of at most 128 bytes each at offset 64
// and right after the title's terminator, when a content description object
// lies directly after the header object.
void ReadWmvHeader(std::string_view head, MediaInfo& info);

// Runs the reader for `extension` ("AVI" or "WMV"; others read nothing) on a
// regular file; anything that cannot be read leaves `info` as it was.
void ReadVideoHeaderFile(const std::string& path, std::string_view extension, MediaInfo& info);

}  // namespace qorve
