// Monkey's Audio files made by tests: a version 3.99 header and frames of
// digital silence, each with the CRC the decoder checks, so that they decode
// exactly; any header field can be forged and any frame's CRC spoiled.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

namespace qorve::test {

struct ApeLayout {
  uint32_t blocksPerFrame = 4608;
  uint32_t finalFrameBlocks = 1000;
  uint32_t frames = 3;
  uint16_t bits = 16;
  uint16_t channels = 2;
  uint32_t sampleRate = 44100;
  int damagedFrame = -1;  // this frame's CRC does not match its samples
  // False for forged sizes whose CRCs would take too long to compute: every
  // CRC is then 0.
  bool matchingCrcs = true;
};

inline void PrintTo(const ApeLayout& layout, std::ostream* out) {
  *out << layout.bits << "-bit, " << layout.channels << " channels";
}

inline std::string ApeLe16(uint32_t v) { return {static_cast<char>(v), static_cast<char>(v >> 8)}; }
inline std::string ApeLe32(uint32_t v) { return ApeLe16(v & 0xFFFF) + ApeLe16(v >> 16); }

// CRC-32 (IEEE, reflected) of `count` copies of `byte`, without the final
// inversion: the running value the decoder compares.
inline uint32_t ApeSilenceCrc(uint8_t byte, uint64_t count) {
  uint32_t crc = 0xFFFFFFFF;
  for (uint64_t i = 0; i < count; ++i) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return crc;
}

inline std::string MakeSilentApe(const ApeLayout& layout) {
  const uint64_t align = uint64_t{layout.channels} * (layout.bits / 8);
  const uint8_t silence = layout.bits == 8 ? 0x80 : 0;
  const uint32_t seekTableBytes = 4 * layout.frames;
  std::string frames;
  std::string seekTable;
  // One CRC serves every full frame; only the last differs.
  const uint32_t fullCrc = layout.matchingCrcs ? ApeSilenceCrc(silence, layout.blocksPerFrame * align) : ~0u;
  const uint32_t finalCrc = layout.matchingCrcs ? ApeSilenceCrc(silence, layout.finalFrameBlocks * align) : ~0u;
  for (uint32_t i = 0; i < layout.frames; ++i) {
    seekTable += ApeLe32(52 + 24 + seekTableBytes + static_cast<uint32_t>(frames.size()));
    uint32_t crc = ~(i + 1 == layout.frames ? finalCrc : fullCrc) >> 1;
    if (static_cast<int>(i) == layout.damagedFrame) crc ^= 1;
    // CRC with the flag word present; flags: both channels silent.
    frames += ApeLe32(crc | 0x80000000u) + ApeLe32(3) + std::string(8, '\0');
  }
  const std::string descriptor = "MAC " + ApeLe16(3990) + ApeLe16(0) + ApeLe32(52) + ApeLe32(24) +
                                 ApeLe32(seekTableBytes) + ApeLe32(0) + ApeLe32(static_cast<uint32_t>(frames.size())) +
                                 ApeLe32(0) + ApeLe32(0) + std::string(16, '\0');
  // Compression level 2000, flag 32: the decoder makes the WAV header.
  const std::string header = ApeLe16(2000) + ApeLe16(32) + ApeLe32(layout.blocksPerFrame) +
                             ApeLe32(layout.finalFrameBlocks) + ApeLe32(layout.frames) + ApeLe16(layout.bits) +
                             ApeLe16(layout.channels) + ApeLe32(layout.sampleRate);
  return descriptor + header + seekTable + frames;
}

}  // namespace qorve::test
