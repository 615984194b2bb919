// MioContainer: the EMC container of an MIO file read from bytes in memory:
// the file header, the records, the sound information, the description text
// and the index of the sound chunks (the seek points).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace qorve::mio {

// Codings of the sound (the SoundInf transformation and architecture words).
constexpr uint32_t kTransformLossless = 0x03020000;
constexpr uint32_t kTransformLot = 0x00000005;
constexpr uint32_t kTransformLotMss = 0x00000105;
constexpr uint32_t kArchitectureGammaName = 0xFFFFFFFF;  // ERINA Huffman in MIO
constexpr uint32_t kArchitectureHuffman = 0xFFFFFFFC;
constexpr uint32_t kArchitectureArithmetic = 0xFFFFFFF0;
constexpr uint32_t kArchitectureGammaWords = 0xFFFFFFFE;

// The sound information record.
struct MioSoundInfo {
  uint32_t transformation = 0;
  uint32_t architecture = 0;
  uint32_t channels = 0;
  uint32_t sampleRate = 0;
  uint32_t subbandDegree = 0;  // lossy: block width 2^degree
  uint32_t totalFrames = 0;    // as the header states it
  uint32_t lappedDegree = 0;
  uint32_t bitsPerSample = 0;
};

// One SoundStm record: where its bitstream lies and which frames it holds.
struct MioChunk {
  std::size_t offset = 0;  // of the bitstream, in the file's bytes
  std::size_t size = 0;    // bytes of bitstream
  uint32_t frames = 0;
  uint32_t firstFrame = 0;  // sum of the frames of the chunks before
  bool lead = false;        // the entropy coder restarts here
};

// Largest sample count of a chunk that is taken as sane.
constexpr uint32_t kMaxChunkFrames = 1u << 20;

class MioContainer {
 public:
  // Reads the container. False when the bytes are no MIO file, the sound
  // information is missing or of a coding this library does not decode, or
  // no chunk holds sound. The bytes must outlive the container.
  bool Parse(std::span<const uint8_t> bytes);

  const MioSoundInfo& Info() const { return info_; }
  const std::vector<MioChunk>& Chunks() const { return chunks_; }
  // Frames of all chunks (preferred to the header's count when they differ).
  uint32_t TotalFrames() const { return totalFrames_; }
  // The raw payload of the "descript" record ("" when there is none).
  const std::string& Description() const { return description_; }
  std::span<const uint8_t> Bytes() const { return bytes_; }
  bool Lossless() const { return info_.transformation == kTransformLossless; }
  // The chunk that holds `frame` (frame < TotalFrames()).
  std::size_t ChunkOf(uint32_t frame) const;

 private:
  bool ParseHeader(std::size_t at, std::size_t end);
  void IndexStream(std::size_t at, std::size_t end);
  bool Supported() const;

  std::span<const uint8_t> bytes_;
  MioSoundInfo info_;
  bool haveInfo_ = false;
  std::vector<MioChunk> chunks_;
  uint32_t totalFrames_ = 0;
  std::string description_;
};

}  // namespace qorve::mio
