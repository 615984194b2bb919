#include "ape_header.h"

#include <cstring>

namespace monkeys_audio {
namespace {

constexpr std::size_t kOldHeaderBytes = 32;  // after "MAC " and the version
constexpr std::size_t kDescriptorBytes = 52;
constexpr std::size_t kNewHeaderBytes = 24;
constexpr uint32_t kId3HeaderBytes = 10;
constexpr uint32_t kMaxChannels = 2;  // what the decoder handles

// The size of an ID3v2 tag at `offset`, 0 when there is none.
uint64_t Id3v2Size(ByteReader& reader, uint64_t offset) {
  uint8_t head[kId3HeaderBytes];
  if (!reader.ReadExact(offset, head, sizeof head) || std::memcmp(head, "ID3", 3) != 0) return 0;
  if ((head[6] | head[7] | head[8] | head[9]) & 0x80) return 0;  // not a syncsafe size
  const uint64_t body = static_cast<uint64_t>(head[6]) << 21 | head[7] << 14 | head[8] << 7 | head[9];
  const bool footer = (head[5] & 0x10) != 0;
  return kId3HeaderBytes + body + (footer ? kId3HeaderBytes : 0);
}

}  // namespace

bool ParseApeHeader(ByteReader& reader, ApeHeader& h, std::string& why) {
  h = ApeHeader{};
  // ID3v2 tags (even several) may precede the descriptor.
  for (uint64_t tag = Id3v2Size(reader, 0); tag != 0; tag = Id3v2Size(reader, h.junkBytes)) h.junkBytes += tag;

  uint8_t magic[6];
  if (!reader.ReadExact(h.junkBytes, magic, sizeof magic) || std::memcmp(magic, "MAC ", 4) != 0) {
    why = "no MAC signature";
    return false;
  }
  h.fileVersion = Le16(magic + 4);
  if (h.fileVersion < kOldestVersion || h.fileVersion > kNewestVersion) {
    why = "unsupported version " + std::to_string(h.fileVersion);
    return false;
  }

  uint64_t seekTableAt = 0;
  uint64_t seekTableBytes = 0;
  uint64_t firstFrame = 0;
  if (h.fileVersion >= 3980) {
    uint8_t d[kDescriptorBytes];
    if (!reader.ReadExact(h.junkBytes, d, sizeof d)) {
      why = "short descriptor";
      return false;
    }
    const uint32_t descriptorBytes = Le32(d + 8);
    const uint32_t headerBytes = Le32(d + 12);
    seekTableBytes = Le32(d + 16);
    h.wavHeaderBytes = Le32(d + 20);
    h.wavTerminatingBytes = Le32(d + 32);
    if (descriptorBytes < kDescriptorBytes || headerBytes < kNewHeaderBytes) {
      why = "descriptor or header too short";
      return false;
    }
    uint8_t x[kNewHeaderBytes];
    if (!reader.ReadExact(h.junkBytes + descriptorBytes, x, sizeof x)) {
      why = "short header";
      return false;
    }
    h.compressionLevel = Le16(x);
    h.formatFlags = Le16(x + 2);
    h.blocksPerFrame = Le32(x + 4);
    h.finalFrameBlocks = Le32(x + 8);
    h.totalFrames = Le32(x + 12);
    h.bitsPerSample = Le16(x + 16);
    h.channels = Le16(x + 18);
    h.sampleRate = Le32(x + 20);
    seekTableAt = h.junkBytes + descriptorBytes + headerBytes;
    firstFrame = seekTableAt + seekTableBytes + h.wavHeaderBytes;
  } else {
    uint8_t x[kOldHeaderBytes + 8];
    const std::size_t got = reader.ReadAt(h.junkBytes + 6, x, sizeof x);
    if (got < kOldHeaderBytes - 6) {
      why = "short header";
      return false;
    }
    h.compressionLevel = Le16(x);
    h.formatFlags = Le16(x + 2);
    h.channels = Le16(x + 4);
    h.sampleRate = Le32(x + 6);
    h.wavHeaderBytes = Le32(x + 10);
    h.wavTerminatingBytes = Le32(x + 14);
    h.totalFrames = Le32(x + 18);
    h.finalFrameBlocks = Le32(x + 22);
    uint64_t headerBytes = kOldHeaderBytes;
    std::size_t at = 26;
    if (h.formatFlags & kFlagHasPeakLevel) {
      if (got < at + 4) {
        why = "short header";
        return false;
      }
      h.peakLevel = Le32(x + at);
      at += 4;
      headerBytes += 4;
    }
    if (h.formatFlags & kFlagHasSeekElements) {
      if (got < at + 4) {
        why = "short header";
        return false;
      }
      seekTableBytes = static_cast<uint64_t>(Le32(x + at)) * 4;
      headerBytes += 4;
    } else {
      seekTableBytes = static_cast<uint64_t>(h.totalFrames) * 4;
    }
    h.bitsPerSample = (h.formatFlags & kFlag8Bit) ? 8 : (h.formatFlags & kFlag24Bit) ? 24 : 16;
    if (h.fileVersion >= 3950) {
      h.blocksPerFrame = 73728 * 4;
    } else if (h.fileVersion >= 3900 || h.compressionLevel >= 4000) {
      h.blocksPerFrame = 73728;
    } else {
      h.blocksPerFrame = 9216;
    }
    // The stored WAV header (unless the decoder is to make one) lies between
    // the header and the seek table.
    const uint64_t storedWav = (h.formatFlags & kFlagCreateWavHeader) ? 0 : h.wavHeaderBytes;
    seekTableAt = h.junkBytes + headerBytes + storedWav;
    firstFrame = h.junkBytes + headerBytes + seekTableBytes + h.wavHeaderBytes;
    if (h.fileVersion < 3810) firstFrame += h.totalFrames;  // one bit-offset byte per frame
  }

  if (h.channels == 0 || h.channels > kMaxChannels || h.sampleRate == 0 ||
      (h.bitsPerSample != 8 && h.bitsPerSample != 16 && h.bitsPerSample != 24)) {
    why = "unsupported sample format";
    return false;
  }
  if (h.totalFrames == 0 || h.blocksPerFrame == 0 || h.finalFrameBlocks == 0 ||
      h.finalFrameBlocks > h.blocksPerFrame) {
    why = "no frames";
    return false;
  }
  if (h.blocksPerFrame > kMaxBlocksPerFrame) {
    why = "frames of " + std::to_string(h.blocksPerFrame) + " blocks";
    return false;
  }
  const uint64_t fileSize = reader.Size();
  // Each frame has a seek entry inside the file: this also bounds the memory
  // that a forged frame count can ask for.
  if (seekTableBytes / 4 < h.totalFrames || seekTableAt + uint64_t{h.totalFrames} * 4 > fileSize) {
    why = "seek table truncated";
    return false;
  }
  std::vector<uint8_t> table(static_cast<std::size_t>(h.totalFrames) * 4);
  if (!reader.ReadExact(seekTableAt, table.data(), table.size())) {
    why = "seek table truncated";
    return false;
  }
  std::vector<uint8_t> bitTable;
  if (h.fileVersion < 3810) {
    bitTable.resize(h.totalFrames);
    if (!reader.ReadExact(seekTableAt + seekTableBytes, bitTable.data(), bitTable.size())) {
      why = "bit table truncated";
      return false;
    }
  }
  h.totalBlocks = uint64_t{h.totalFrames - 1} * h.blocksPerFrame + h.finalFrameBlocks;
  // At most 2^32 frames of kMaxBlocksPerFrame: the product stays well inside 64 bits.
  const uint64_t lengthMs = h.totalBlocks * 1000 / h.sampleRate;
  if (lengthMs > kMaxLengthMs) {
    why = "longer than " + std::to_string(kMaxLengthMs) + " ms";
    return false;
  }
  h.lengthMs = static_cast<uint32_t>(lengthMs);

  h.frames.resize(h.totalFrames);
  h.frames[0].pos = firstFrame;
  for (uint32_t i = 0; i < h.totalFrames; ++i) {
    ApeFrame& f = h.frames[i];
    f.blocks = i + 1 == h.totalFrames ? h.finalFrameBlocks : h.blocksPerFrame;
    if (i > 0) f.pos = Le32(&table[i * 4]) + h.junkBytes;
    if (f.pos >= fileSize || (i > 0 && f.pos <= h.frames[i - 1].pos)) {
      why = "frame " + std::to_string(i) + " outside the file";
      return false;
    }
  }
  for (uint32_t i = 0; i < h.totalFrames; ++i) {
    ApeFrame& f = h.frames[i];
    uint64_t size = 0;
    if (i + 1 < h.totalFrames) {
      size = h.frames[i + 1].pos - f.pos;
    } else {
      // The last frame runs to the end of the file, less the stored WAV tail.
      const uint64_t rest = fileSize - f.pos;
      size = rest > h.wavTerminatingBytes ? rest - h.wavTerminatingBytes : 0;
      size -= size & 3;
      if (size == 0) size = uint64_t{h.finalFrameBlocks} * 8;
    }
    // The decoder reads whole 32-bit words counted from the first frame.
    const uint32_t skip = i == 0 ? 0 : static_cast<uint32_t>((f.pos - h.frames[0].pos) & 3);
    f.pos -= skip;
    size += skip;
    size = (size + 3) & ~uint64_t{3};
    if (size > UINT32_MAX - 64) {
      why = "frame too large";
      return false;
    }
    f.size = static_cast<uint32_t>(size);
    f.skip = skip;
  }
  if (h.fileVersion < 3810) {
    for (uint32_t i = 0; i < h.totalFrames; ++i) {
      if (i + 1 < h.totalFrames && bitTable[i + 1] != 0) h.frames[i].size += 4;
      h.frames[i].skip = (h.frames[i].skip << 3) + bitTable[i];
    }
  }
  return true;
}

}  // namespace monkeys_audio
