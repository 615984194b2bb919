// Lossless MIO chunks: ERINA-coded second differences (16-bit) or first
// differences (8-bit) per channel, turned back into interleaved PCM.
#pragma once

#include "libs/mio/erina_huffman.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qorve::mio {

class MioLosslessDecoder {
 public:
  MioLosslessDecoder(uint32_t channels, uint32_t bitsPerSample);
  // Restarts the entropy coder (a lead chunk).
  void Reset() { erina_.Reset(); }
  // Decodes one chunk of `frames` frames into `out` (frames × channels ×
  // bytes per sample, 8-bit unsigned or 16-bit signed little-endian). False
  // when the chunk is corrupt.
  bool Decode(const uint8_t* data, std::size_t size, uint32_t frames, uint8_t* out);

 private:
  uint32_t channels_;
  uint32_t bitsPerSample_;
  ErinaDecoder erina_;
  std::vector<uint8_t> bytes_;
};

}  // namespace qorve::mio
