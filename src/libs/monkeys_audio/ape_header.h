// The Monkey's Audio header: descriptor and header of every file version from
// 3.80 to 3.99, the seek table, and the place and size of each compressed frame
// as the decoder is handed it.
#pragma once

#include "byte_reader.h"

#include <cstdint>
#include <string>
#include <vector>

namespace monkeys_audio {

constexpr uint16_t kOldestVersion = 3800;
constexpr uint16_t kNewestVersion = 3990;

// Format flags of the header.
constexpr uint16_t kFlag8Bit = 1;
constexpr uint16_t kFlagHasPeakLevel = 4;
constexpr uint16_t kFlag24Bit = 8;
constexpr uint16_t kFlagHasSeekElements = 16;
constexpr uint16_t kFlagCreateWavHeader = 32;

// The most sample frames in one compressed frame: the insane level's 73728 × 16,
// the largest any encoder level writes. A frame is decoded whole before its CRC
// can be checked, so this bounds the memory one frame takes.
constexpr uint32_t kMaxBlocksPerFrame = 73728 * 16;
// The longest file in milliseconds: the SDK reports the length as an int.
constexpr uint64_t kMaxLengthMs = 0x7FFFFFFF;

// One compressed frame: `size` bytes at `pos` (both already widened to the
// 32-bit alignment the decoder reads in), `blocks` sample frames, and the bits
// the decoder skips at its start.
struct ApeFrame {
  uint64_t pos = 0;
  uint32_t size = 0;
  uint32_t blocks = 0;
  uint32_t skip = 0;
};

struct ApeHeader {
  uint64_t junkBytes = 0;  // an ID3v2 tag in front of "MAC "
  uint16_t fileVersion = 0;
  uint16_t compressionLevel = 0;
  uint16_t formatFlags = 0;
  uint16_t channels = 0;
  uint32_t sampleRate = 0;
  uint16_t bitsPerSample = 0;
  uint32_t blocksPerFrame = 0;
  uint32_t finalFrameBlocks = 0;
  uint32_t totalFrames = 0;
  uint32_t wavHeaderBytes = 0;
  uint32_t wavTerminatingBytes = 0;
  uint32_t peakLevel = 0;
  uint64_t totalBlocks = 0;
  uint32_t lengthMs = 0;  // totalBlocks at sampleRate, truncated
  std::vector<ApeFrame> frames;

  uint32_t BlockAlign() const { return channels * (bitsPerSample / 8u); }
};

// Parses the header and seek table. False (with the reason in `why`) when the
// bytes are not a Monkey's Audio file of a supported version, or when its
// numbers cannot describe real audio (no frames, frames longer than
// kMaxBlocksPerFrame, a length beyond kMaxLengthMs, a seek table shorter than
// the frames, positions that go backwards or lie outside the file).
bool ParseApeHeader(ByteReader& reader, ApeHeader& out, std::string& why);

}  // namespace monkeys_audio
