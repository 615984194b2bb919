// MioDecoder: decodes the sound of an MIO file into blocks of interleaved PCM
// (16-bit signed, or 8-bit unsigned for 8-bit lossless files) of a fixed
// number of frames, starting at any frame. Decoded chunks are kept so that
// blocks in order decode every chunk once; a jump restarts the entropy coder
// at the last lead chunk before the target.
//
// Not thread-safe: one caller at a time (the media class calls it from the
// stream's fill procedure, which never runs on two threads at once).
#pragma once

#include "libs/mio/mio_container.h"
#include "libs/mio/mio_file.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qorve::mio {

class MioLosslessDecoder;
class MioLossyDecoder;

// Builds the shared transform tables ahead of the first decode (they are
// built on first use otherwise). Safe to call any number of times.
void InitializeLibrary();

// One decoded block.
struct MioBlock {
  std::vector<uint8_t> pcm;  // the block's bytes
  uint32_t offset = 0;       // byte offset of the requested frame in `pcm`
  uint32_t firstFrame = 0;   // frame at pcm[0]
};

class MioDecoder {
 public:
  // Frames per block.
  static constexpr uint32_t kBlockFrames = 32768;

  MioDecoder();
  ~MioDecoder();
  MioDecoder(const MioDecoder&) = delete;
  MioDecoder& operator=(const MioDecoder&) = delete;

  // Reads the container of `file` (which must stay open while decoding).
  // False for bytes that are no MIO file or of a coding this library does
  // not decode, among them lossy files with blocks too short to dequantise
  // in any chunk. `flags` is reserved (0).
  bool Open(const MioFile& file, int flags = 0);
  void Close();
  bool IsOpen() const { return open_; }

  uint16_t Channels() const { return static_cast<uint16_t>(container_.Info().channels); }
  uint32_t SampleRate() const { return container_.Info().sampleRate; }
  uint16_t BitsPerSample() const { return static_cast<uint16_t>(container_.Info().bitsPerSample); }
  uint32_t TotalFrames() const { return container_.TotalFrames(); }
  uint32_t BlockAlign() const { return Channels() * (BitsPerSample() / 8u); }
  const MioContainer& Container() const { return container_; }

  // The block that starts at `frame` (offset 0): kBlockFrames frames, with
  // silence past the end of the sound and in place of corrupt chunks (and the
  // chunks that depend on them up to the next lead chunk). Null when closed.
  std::unique_ptr<MioBlock> DecodeAt(uint32_t frame);
  // The block after the last one returned.
  std::unique_ptr<MioBlock> NextBlock();
  // Hands a block back for reuse.
  void Release(std::unique_ptr<MioBlock> block);

 private:
  // Makes chunk k the decoded one, decoding from a lead chunk if needed.
  void EnsureChunk(std::size_t k);
  void DecodeChunk(std::size_t k);

  MioContainer container_;
  bool open_ = false;
  std::unique_ptr<MioLosslessDecoder> lossless_;
  std::unique_ptr<MioLossyDecoder> lossy_;
  std::vector<uint8_t> chunkPcm_;  // the decoded chunk
  std::vector<int16_t> lossyPcm_;
  std::ptrdiff_t decodedChunk_ = -1;
  bool broken_ = false;  // a corrupt chunk since the last lead chunk
  uint32_t nextFrame_ = 0;
  std::unique_ptr<MioBlock> spare_;
};

}  // namespace qorve::mio
