// The MPEG frame-header reader: sampling rate and bit rate of the first
// MPEG-1 Layer III frame.
#include "player/formats/tags/tag_readers.h"

#include <cstdint>

namespace qorve {
namespace {

constexpr int kMaxSyncSearchBytes = 4098;  // single-byte reads after the first two bytes
constexpr int32_t kSampleRates[3] = {44100, 48000, 32000};
constexpr int32_t kBitRates[15] = {0,       32000,  40000,  48000,  56000,  64000,  80000, 96000,
                                   112000, 128000, 160000, 192000, 224000, 256000, 320000};  // bits per second

}  // namespace

bool ReadMpegFrameHeader(std::string_view bytes, MediaInfo& info) {
  std::size_t at = 0;
  const auto next = [&](uint32_t& byte) {
    if (at >= bytes.size()) return false;
    byte = static_cast<unsigned char>(bytes[at++]);
    return true;
  };
  uint32_t high = 0, low = 0;
  if (!next(high) || !next(low)) return false;
  uint32_t sync = high << 8 | low;
  for (int reads = 0; (sync & 0xFFF0) != 0xFFF0; ++reads) {
    uint32_t byte = 0;
    if (reads == kMaxSyncSearchBytes || !next(byte)) return false;
    sync = (sync << 8 | byte) & 0xFFFF;
  }
  if (!next(high) || !next(low)) return false;
  const uint32_t word = high << 8 | low;

  const uint32_t version = (sync >> 3) & 1;  // 1: MPEG-1
  const uint32_t layer = (sync >> 1) & 3;    // 1: Layer III
  const uint32_t bitRateIndex = (word >> 12) & 0xF;
  const uint32_t sampleIndex = (word >> 10) & 3;
  const uint32_t padding = (word >> 9) & 1;
  const uint32_t emphasis = word & 3;
  const bool valid = layer <= 2 && bitRateIndex >= 1 && bitRateIndex <= 14 && sampleIndex <= 2 && emphasis != 2;
  if (!valid || version != 1 || layer != 1) return false;

  const int32_t sampleRate = kSampleRates[sampleIndex];
  const int32_t bitRate = kBitRates[bitRateIndex];
  const std::size_t frameBytes = static_cast<std::size_t>(144 * bitRate / sampleRate) + padding;
  if (bytes.size() - at < frameBytes - 4) return false;  // the whole frame must be there
  info.SampleRate = sampleRate;
  info.Bitrate = static_cast<uint16_t>(bitRate / 1000);
  return true;
}

}  // namespace qorve
