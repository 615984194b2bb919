// Test media for the sound classes, made at test time: Ogg Vorbis through sox
// and oggenc, FLAC through libFLAC's encoder with samples the test chooses, and
// the PCM that a media object hands to a virtual sound card.
#pragma once

#include "platform/audio/wave_out_virtual.h"
#include "player/core/media_file.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace qorve::test {

// A media object's description and status, read as the display reads them.
inline MediaInfo InfoOf(const MediaFile& media) {
  MediaInfo info;
  media.GetInfo(info);
  return info;
}
inline MediaState StatusOf(MediaFile& media) {
  MediaState state{};
  media.GetStatus(state);
  return state;
}

// Runs a shell command; true when it exits 0.
bool RunCommand(const std::string& command);
// True when every tool is on PATH.
bool HaveTools(const std::vector<std::string>& tools);

// The sample bytes of the "data" chunk of a WAV file ("" when there is none).
std::string WavData(const std::filesystem::path& path);

// One FLAC file to encode: interleaved samples at the file's scale.
struct FlacPlan {
  uint32_t rate = 44100;
  uint32_t channels = 2;
  uint32_t bits = 16;
  uint32_t blockSize = 0;  // 0: the encoder's choice
  std::vector<int32_t> samples;
  std::vector<std::string> comments;  // "NAME=value"
  uint32_t paddingBeforeComments = 0;  // bytes of a PADDING block ahead of the comments
};
// Samples of a chord that uses the whole range of `bits`, `frames` long.
std::vector<int32_t> ChordSamples(uint32_t frames, uint32_t channels, uint32_t bits);
bool EncodeFlac(const FlacPlan& plan, const std::filesystem::path& path);

// Plays one pass of the stream's ring on `card` and returns the bytes played
// since the media object's last Play.
std::vector<uint8_t> PlayOnePass(VirtualSoundCard& card);

}  // namespace qorve::test
