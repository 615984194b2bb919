#include "libs/mio/mio_container.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace qorve::mio {
namespace {

constexpr uint8_t kSignature[8] = {'E', 'n', 't', 'i', 's', 0x1A, 0, 0};
constexpr uint32_t kFileId = 0x03000100;
constexpr std::string_view kDescriptionPrefix = "Music Interleaved";
constexpr std::size_t kFileHeaderSize = 64;
constexpr std::size_t kRecordHeaderSize = 16;
constexpr std::size_t kSoundInfoSize = 40;
constexpr std::size_t kChunkHeaderSize = 8;

uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

uint64_t U64(const uint8_t* p) { return U32(p) | static_cast<uint64_t>(U32(p + 4)) << 32; }

// One record between `at` and `end`: its id and payload; a length that runs
// past `end` means "up to end".
struct Record {
  std::string_view id;
  std::size_t payload = 0;
  std::size_t size = 0;
};

bool NextRecord(std::span<const uint8_t> bytes, std::size_t& at, std::size_t end, Record& record) {
  if (at >= end || end - at < kRecordHeaderSize) return false;
  record.id = std::string_view(reinterpret_cast<const char*>(bytes.data() + at), 8);
  const uint64_t length = U64(bytes.data() + at + 8);
  record.payload = at + kRecordHeaderSize;
  record.size = static_cast<std::size_t>(std::min<uint64_t>(length, end - record.payload));
  at = record.payload + record.size;
  return true;
}

}  // namespace

bool MioContainer::Parse(std::span<const uint8_t> bytes) {
  *this = MioContainer();
  bytes_ = bytes;
  if (bytes.size() < kFileHeaderSize || std::memcmp(bytes.data(), kSignature, sizeof kSignature) != 0 ||
      U32(bytes.data() + 8) != kFileId ||
      std::string_view(reinterpret_cast<const char*>(bytes.data() + 16), kDescriptionPrefix.size()) !=
          kDescriptionPrefix) {
    return false;
  }
  std::size_t at = kFileHeaderSize;
  Record record;
  while (NextRecord(bytes, at, bytes.size(), record)) {
    if (record.id == "Header  ") {
      ParseHeader(record.payload, record.payload + record.size);
    } else if (record.id == "Stream  " && haveInfo_) {
      IndexStream(record.payload, record.payload + record.size);
    }
  }
  return haveInfo_ && Supported() && totalFrames_ > 0;
}

bool MioContainer::ParseHeader(std::size_t at, std::size_t end) {
  Record record;
  while (NextRecord(bytes_, at, end, record)) {
    const uint8_t* p = bytes_.data() + record.payload;
    if (record.id == "SoundInf" && record.size >= kSoundInfoSize) {
      info_.transformation = U32(p + 4);
      info_.architecture = U32(p + 8);
      info_.channels = U32(p + 12);
      info_.sampleRate = U32(p + 16);
      info_.subbandDegree = U32(p + 24);
      info_.totalFrames = U32(p + 28);
      info_.lappedDegree = U32(p + 32);
      info_.bitsPerSample = U32(p + 36);
      haveInfo_ = true;
    } else if (record.id == "descript") {
      description_.assign(reinterpret_cast<const char*>(p), record.size);
    }
  }
  return haveInfo_;
}

void MioContainer::IndexStream(std::size_t at, std::size_t end) {
  Record record;
  uint64_t total = 0;
  while (NextRecord(bytes_, at, end, record)) {
    if (record.id != "SoundStm" || record.size < kChunkHeaderSize) continue;
    const uint8_t* p = bytes_.data() + record.payload;
    const uint32_t frames = U32(p + 4);
    if (frames == 0 || frames > kMaxChunkFrames || total + frames > UINT32_MAX) continue;
    MioChunk chunk;
    chunk.offset = record.payload + kChunkHeaderSize;
    chunk.size = record.size - kChunkHeaderSize;
    chunk.frames = frames;
    chunk.firstFrame = static_cast<uint32_t>(total);
    chunk.lead = (p[1] & 1) != 0 || chunks_.empty();  // the first chunk always restarts the coder
    chunks_.push_back(chunk);
    total += frames;
  }
  totalFrames_ = static_cast<uint32_t>(total);
}

bool MioContainer::Supported() const {
  const MioSoundInfo& i = info_;
  if (i.channels < 1 || i.channels > 2 || i.sampleRate == 0) return false;
  if (i.transformation == kTransformLossless) {
    return i.architecture == kArchitectureHuffman && (i.bitsPerSample == 8 || i.bitsPerSample == 16);
  }
  if (i.transformation != kTransformLot && i.transformation != kTransformLotMss) return false;
  const bool knownCoder = i.architecture == kArchitectureGammaName || i.architecture == kArchitectureHuffman ||
                          i.architecture == kArchitectureArithmetic || i.architecture == kArchitectureGammaWords;
  return knownCoder && i.bitsPerSample == 16 && i.subbandDegree >= 8 && i.subbandDegree <= 12 &&
         i.lappedDegree == 1;
}

std::size_t MioContainer::ChunkOf(uint32_t frame) const {
  const auto after = std::upper_bound(chunks_.begin(), chunks_.end(), frame,
                                      [](uint32_t f, const MioChunk& chunk) { return f < chunk.firstFrame; });
  return static_cast<std::size_t>(std::max<std::ptrdiff_t>(after - chunks_.begin() - 1, 0));
}

}  // namespace qorve::mio
