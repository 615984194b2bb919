// The tag readers on files: reads the bytes each reader needs (shared reading,
// closed before returning) and runs it. A file that cannot be read leaves the
// fields as they were.
#pragma once

#include "player/core/media_file.h"

#include <string>
#include <string_view>

namespace qorve {

void ReadMidiTitleFile(const std::string& path, MediaInfo& info);
// Codec names come from the codec list (codec_list.h).
void ReadRiffWaveFile(const std::string& path, MediaInfo& info);
void ReadAsfFile(const std::string& path, MediaInfo& info);
// ID3v2 or ID3v1 text, then the MPEG frame header.
void ReadId3File(const std::string& path, MediaInfo& info);
// The first MPEG-1 Layer III frame header after any ID3v2 tag.
void ReadMpegFrameHeaderFile(const std::string& path, MediaInfo& info);

// The readers an extension (upper case) calls for: "MID"/"MIDI" the MIDI
// title, "WAV" the RIFF reader, "WMA" the ASF reader, "MP3" the ID3 reader.
void ReadTagsForExtension(const std::string& path, std::string_view extension, MediaInfo& info);

}  // namespace qorve
