#include "libs/mio/mio_lossless.h"

namespace qorve::mio {

MioLosslessDecoder::MioLosslessDecoder(uint32_t channels, uint32_t bitsPerSample)
    : channels_(channels), bitsPerSample_(bitsPerSample) {}

bool MioLosslessDecoder::Decode(const uint8_t* data, std::size_t size, uint32_t frames, uint8_t* out) {
  const std::size_t n = frames;
  const std::size_t bytesPerSample = bitsPerSample_ / 8;
  bytes_.resize(n * channels_ * bytesPerSample);
  MioBitReader bits(data, size);
  if (!erina_.Decode(bits, bytes_.data(), bytes_.size())) return false;

  for (std::size_t c = 0; c < channels_; ++c) {
    if (bytesPerSample == 1) {
      // Byte planes of first differences of the unsigned samples.
      const uint8_t* d = bytes_.data() + c * n;
      uint8_t value = 0;
      for (std::size_t j = 0; j < n; ++j) {
        value = static_cast<uint8_t>(value + d[j]);
        out[j * channels_ + c] = value;
      }
      continue;
    }
    // A high-byte plane and a low-byte plane of second differences.
    const uint8_t* high = bytes_.data() + 2 * c * n;
    const uint8_t* low = high + n;
    uint16_t delta = 0;
    uint16_t value = 0;
    for (std::size_t j = 0; j < n; ++j) {
      const uint8_t lo = low[j];
      const uint8_t hi = static_cast<uint8_t>(high[j] ^ ((lo & 0x80) != 0 ? 0xFF : 0x00));
      delta = static_cast<uint16_t>(delta + ((hi << 8) | lo));
      value = static_cast<uint16_t>(value + delta);
      uint8_t* sample = out + 2 * (j * channels_ + c);
      sample[0] = static_cast<uint8_t>(value);
      sample[1] = static_cast<uint8_t>(value >> 8);
    }
  }
  return true;
}

}  // namespace qorve::mio
