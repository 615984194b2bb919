// player/formats/tags/: the tag readers and the codec names.
//
// The tag readers: plain functions over a file's bytes that fill the text and
// format fields of MediaInfo (MIDI track name, RIFF WAVE format and INFO text,
// ASF title and author, ID3v2/ID3v1 text, the MPEG-1 Layer III frame header).
// They never fail: whatever the bytes do not hold leaves the field as it was.
// Text is stored as UTF-8; raw text that is not UTF-8 is taken as CP932.
// tag_files.h reads the bytes these functions need from a file.
#pragma once

#include "player/core/media_file.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace qorve {

// MIDI: the name of the first track when it is the track's first event (at
// delta 0, byte 22 of a standard file), and only when its first byte is
// printable ASCII (0x20 to 0x7F). The text ends at the event's length or its
// first zero byte. `head`: the file's first kMidiTitleHeadBytes bytes.
constexpr std::size_t kMidiTitleHeadBytes = 26 + 4 + 128;
void ReadMidiTitle(std::string_view head, MediaInfo& info);

// Looks up a codec name: the text for `key` in the codec list's `section`, or
// `defaultText` when the list has none.
using CodecLookup =
    std::function<std::string(std::string_view section, std::string_view key, std::string_view defaultText)>;

// RIFF WAVE: Channels, SampleRate and Bits from the "fmt " chunk (searched in
// `head`, the file's first bytes; in a RIFX file, the big-endian form, its
// numbers are read big-endian), Title and Artist from an "INAM"/"IART" text
// that lies within `tail` (the file's last kRiffInfoTailBytes bytes), Codec from
// `lookup` (section "WAV", key "0x%04X" of the format tag, default
// "0x%04X(ID値)").
constexpr std::size_t kRiffHeadBytes = 4096;
constexpr std::size_t kRiffInfoTailBytes = 128;
void ReadRiffWave(std::string_view head, std::string_view tail, const CodecLookup& lookup, MediaInfo& info);

// ASF (WMA): Title and Artist from the content description object of the
// header. `head`: the file's first bytes (kAsfHeadBytes are enough for any
// header that puts its description within them).
constexpr std::size_t kAsfHeadBytes = 64 * 1024;
void ReadAsfTags(std::string_view head, MediaInfo& info);

// ID3v2: the bytes the whole tag takes at the start of the file (header,
// frames and footer), or 0 when `head` does not begin with an ID3v2 header.
std::size_t Id3v2TagBytes(std::string_view head);

// ID3: ID3v2 frames TIT2, TPE1, TALB, TCON when `head` (the file's first bytes,
// at best Id3v2TagBytes of them) begins with an ID3v2 tag; otherwise ID3v1
// Title, Artist and genre from `last128` (the file's last 128 bytes). Text of
// every ID3v2 frame encoding is decoded (ISO-8859-1 or CP932, UTF-16 with
// byte-order mark, UTF-16BE, UTF-8).
void ReadId3(std::string_view head, std::string_view last128, MediaInfo& info);

// The Japanese name of ID3v1 genre `index` (0 to 79), else empty.
std::string_view Id3v1GenreName(int index);

// MPEG-1 Layer III: SampleRate and Bitrate from the first frame header found
// within the first 4,100 bytes of `bytes`, stored only when the whole frame is
// there. Returns whether they were stored. kMpegSearchBytes are enough.
constexpr std::size_t kMpegSearchBytes = 2 + 4098 + 1441;
bool ReadMpegFrameHeader(std::string_view bytes, MediaInfo& info);

}  // namespace qorve
