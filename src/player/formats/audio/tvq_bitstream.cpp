#include "player/formats/audio/tvq_bitstream.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace qorve {
namespace {

constexpr std::size_t kVersionBytes = 12;
constexpr std::size_t kChunksOffset = 16;
constexpr std::size_t kChunkHeaderBytes = 8;

void HeaderFailed() { std::fputs("Failed to read header. Check the bitstream file.\n", stderr); }

}  // namespace

std::unique_ptr<TvqBitstream> TvqBitstream::Open(const std::string& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return nullptr;
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  if (error || size > kMaxBytes) return nullptr;
  std::ifstream in(path, std::ios::binary);
  if (!in) return nullptr;
  std::string bytes(static_cast<std::size_t>(size), '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(size));
  if (static_cast<std::uintmax_t>(in.gcount()) != size) return nullptr;
  return FromBytes(std::move(bytes));
}

std::unique_ptr<TvqBitstream> TvqBitstream::FromBytes(std::string bytes) {
  return std::unique_ptr<TvqBitstream>(new TvqBitstream(std::move(bytes)));
}

uint32_t TvqBitstream::BigEndian(std::size_t at) const {
  const auto* p = reinterpret_cast<const uint8_t*>(bytes_.data() + at);
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 | p[3];
}

bool TvqBitstream::ReadHeader() {
  haveHeader_ = false;
  if (bytes_.size() < kChunksOffset) {
    HeaderFailed();
    return false;
  }
  versionId_ = bytes_.substr(0, kVersionBytes);
  const uint32_t headerSize = BigEndian(kVersionBytes);
  // Every chunk must lie inside the header, and the header inside the file.
  if (headerSize > bytes_.size() - kChunksOffset) {
    HeaderFailed();
    return false;
  }
  chunksStart_ = kChunksOffset;
  chunksEnd_ = kChunksOffset + headerSize;
  for (std::size_t at = chunksStart_; at < chunksEnd_;) {
    if (chunksEnd_ - at < kChunkHeaderBytes || BigEndian(at + 4) > chunksEnd_ - at - kChunkHeaderBytes) {
      HeaderFailed();
      return false;
    }
    at += kChunkHeaderBytes + BigEndian(at + 4);
  }
  if (bytes_.size() - chunksEnd_ < 4 || bytes_.compare(chunksEnd_, 4, "DATA") != 0) {
    std::fputs("TwinVQ format error. No \"DATA\" chunk was found.\n", stderr);
    return false;
  }
  dataStart_ = chunksEnd_ + 4;
  haveHeader_ = true;
  return true;
}

bool TvqBitstream::BuildChunkIndex() {
  chunks_.clear();
  if (!haveHeader_) return false;
  for (std::size_t at = chunksStart_; at < chunksEnd_;) {
    const std::string id = bytes_.substr(at, 4);
    const uint32_t size = BigEndian(at + 4);
    if (!chunks_.emplace(id, std::string_view(bytes_).substr(at + kChunkHeaderBytes, size)).second) return false;
    at += kChunkHeaderBytes + size;
  }
  return true;
}

std::optional<std::string> TvqBitstream::TextChunk(std::string_view id) const {
  const auto found = chunks_.find(id);
  if (found == chunks_.end()) return std::nullopt;
  return std::string(found->second);
}

std::optional<int32_t> TvqBitstream::IntegerChunk(std::string_view id) const {
  const auto found = chunks_.find(id);
  if (found == chunks_.end() || found->second.size() < 4) return std::nullopt;
  return static_cast<int32_t>(BigEndian(static_cast<std::size_t>(found->second.data() - bytes_.data())));
}

std::optional<std::array<int32_t, 4>> TvqBitstream::CommChunk() const {
  const auto found = chunks_.find(std::string_view("COMM"));
  if (found == chunks_.end() || found->second.size() < 16) return std::nullopt;
  const auto at = static_cast<std::size_t>(found->second.data() - bytes_.data());
  return std::array<int32_t, 4>{static_cast<int32_t>(BigEndian(at)), static_cast<int32_t>(BigEndian(at + 4)),
                                static_cast<int32_t>(BigEndian(at + 8)), static_cast<int32_t>(BigEndian(at + 12))};
}

int TvqBitstream::InitializeFrameReading() {
  if (!haveHeader_ || TvqCheckVersion(versionId_.c_str()) != 0) return -1;
  TvqGetConfInfo(&conf_);
  TvqGetVectorInfo(&vectors_);
  if (conf_.bitsPerFrame <= vectors_.windowTypeBits || (conf_.bitsPerFrame + 7) / 8 > TvqIndex::kMaxFrameBytes) {
    return -1;
  }
  bitPosition_ = 0;
  frameCounter_ = 0;
  return 0;
}

bool TvqBitstream::ReadFrame(TvqIndex& index) {
  const auto bits = static_cast<uint64_t>(conf_.bitsPerFrame);
  const uint64_t available = static_cast<uint64_t>(DataBytes()) * 8;
  if (bits == 0 || bitPosition_ + bits > available) return false;
  std::memset(index.frame, 0, sizeof index.frame);
  const auto* data = reinterpret_cast<const uint8_t*>(bytes_.data() + dataStart_);
  for (uint64_t i = 0; i < bits; ++i) {
    const uint64_t from = bitPosition_ + i;
    if ((data[from >> 3] >> (7 - (from & 7))) & 1) index.frame[i >> 3] |= static_cast<uint8_t>(0x80 >> (i & 7));
  }
  bitPosition_ += bits;
  ++frameCounter_;
  index.bitCount = static_cast<int32_t>(bits);
  index.windowType = index.frame[0] >> (8 - vectors_.windowTypeBits);
  if (TvqWtypeToBtype(index.windowType, &index.blockType) < 0) {
    std::fprintf(stderr, "Error: unknown window type: %d\n", index.windowType);
    return false;
  }
  index.subBlocks = 1;
  if (index.windowType == 2) TvqUpdateVectorInfo(&index);
  return true;
}

void TvqBitstream::SkipFrames(int64_t frames) {
  const auto bits = static_cast<int64_t>(conf_.bitsPerFrame);
  const int64_t target = std::max<int64_t>(frameCounter_ + frames, 0);
  frameCounter_ = target;
  bitPosition_ = static_cast<uint64_t>(target) * static_cast<uint64_t>(bits);
}

}  // namespace qorve
