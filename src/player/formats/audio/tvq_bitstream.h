// TvqBitstream: the TwinVQ bitstream reader of the VQF class: the file's
// version identifier and chunk header, the index of its chunks, and the frames
// of fixed bit length that follow "DATA", read into the decoder's frame index.
// Plain C++ over the file's bytes (read whole at open).
#pragma once

#include "libs/tvqdec/tvqdec.h"

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace qorve {

class TvqBitstream {
 public:
  // Largest file taken.
  static constexpr std::uintmax_t kMaxBytes = std::uintmax_t{1} << 30;

  // Opens the file at `path` ("rb"); null when it cannot be read.
  static std::unique_ptr<TvqBitstream> Open(const std::string& path);
  // A reader over bytes in memory.
  static std::unique_ptr<TvqBitstream> FromBytes(std::string bytes);

  // Reads the version identifier and the chunk list, then the four bytes that
  // must be "DATA". False (with the reason on the standard error stream) when
  // the header cannot be read or "DATA" is missing.
  bool ReadHeader();
  // Builds the index of the header's chunks; false when a chunk appears twice
  // or the header was not read.
  bool BuildChunkIndex();

  const std::string& VersionId() const { return versionId_; }
  // The chunk's data: as text; as a big-endian integer (the first 4 bytes);
  // as the four "COMM" integers (channel mode, kbit/s, kHz, security level).
  // Empty when the chunk is missing (or too short).
  std::optional<std::string> TextChunk(std::string_view id) const;
  std::optional<int32_t> IntegerChunk(std::string_view id) const;
  std::optional<std::array<int32_t, 4>> CommChunk() const;

  // Checks the version with the decoder and takes its configuration; frame
  // counter 0. Non-zero when the decoder refuses the version.
  int InitializeFrameReading();
  // Reads the next frame's fixed bits into `index`. False at the end of the
  // data (nothing read) or for an unknown window type (reported on the
  // standard error stream); the frame counter advances either way while
  // data remained.
  bool ReadFrame(TvqIndex& index);
  // Moves `frames` frames on (back when negative), relative to the current
  // position; never before the first frame.
  void SkipFrames(int64_t frames);
  int64_t FrameCounter() const { return frameCounter_; }
  // Bytes from the end of the header (after "DATA") to the end of the file.
  std::size_t DataBytes() const { return bytes_.size() - dataStart_; }

 private:
  explicit TvqBitstream(std::string bytes) : bytes_(std::move(bytes)) {}
  uint32_t BigEndian(std::size_t at) const;

  std::string bytes_;
  std::string versionId_;
  std::size_t chunksStart_ = 0;
  std::size_t chunksEnd_ = 0;
  std::size_t dataStart_ = 0;
  bool haveHeader_ = false;
  std::map<std::string, std::string_view, std::less<>> chunks_;
  TvqConfInfo conf_{};
  TvqVectorInfo vectors_{};
  uint64_t bitPosition_ = 0;  // from dataStart_
  int64_t frameCounter_ = 0;
};

}  // namespace qorve
