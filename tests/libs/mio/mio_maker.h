// MIO files made by tests: the container with its records, and an ERINA
// encoder (the decoder's own trees run in the other direction) for lossless
// chunks of chosen samples.
#pragma once

#include "libs/mio/erina_huffman.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qorve::test {

// Bits written most significant first.
class BitWriter {
 public:
  void Bit(uint32_t bit) {
    if (count_ % 8 == 0) bytes_.push_back(0);
    if (bit != 0) bytes_.back() |= static_cast<uint8_t>(0x80 >> (count_ % 8));
    ++count_;
  }
  void Bits(uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i) Bit((value >> i) & 1);
  }
  void Gamma(uint32_t value) {
    if (value == 1) {
      Bit(0);
      return;
    }
    int top = 31;
    while (((value >> top) & 1) == 0) --top;
    Bit(1);
    for (int i = top - 1; i >= 0; --i) {
      Bit((value >> i) & 1);
      Bit(i > 0 ? 1 : 0);
    }
  }
  std::vector<uint8_t> Bytes() const {
    std::vector<uint8_t> padded = bytes_;
    while (padded.size() % 4 != 0) padded.push_back(0);
    return padded;
  }

 private:
  std::vector<uint8_t> bytes_;
  std::size_t count_ = 0;
};

// The ERINA byte encoder; its state carries over between calls like the
// decoder's (Reset for a lead chunk).
class ErinaEncoder {
 public:
  ErinaEncoder() : trees_(std::make_unique<std::array<mio::ErinaTree, 257>>()) { Reset(); }
  void Reset() {
    for (auto& tree : *trees_) tree.Reset();
    context_ = 0;
  }
  // Encodes all of `bytes`; a zero run stops at the end of `bytes`.
  void Encode(const std::vector<uint8_t>& bytes, BitWriter& out) {
    for (std::size_t i = 0; i < bytes.size();) {
      const uint8_t value = bytes[i];
      Put((*trees_)[context_], value, out, [&out](uint32_t v) { out.Bits(v, 8); });
      ++i;
      if (value == 0) {
        uint32_t run = 1;
        while (i < bytes.size() && bytes[i] == 0) ++run, ++i;
        Put((*trees_)[256], run, out, [&out](uint32_t v) { out.Gamma(v); });
      }
      context_ = value;
    }
  }

 private:
  template <typename Literal>
  static void Put(mio::ErinaTree& tree, uint32_t value, BitWriter& out, Literal literal) {
    if (tree.Empty()) {
      literal(value);
      tree.Insert(value);
      return;
    }
    int slot = tree.FindLeaf(value);
    const bool known = slot >= 0;
    if (!known) slot = tree.FindLeaf(mio::ErinaTree::kEscape);
    uint8_t path[600];
    const int length = tree.PathTo(static_cast<uint32_t>(slot), path, 600);
    for (int i = 0; i < length; ++i) out.Bit(path[i]);
    tree.Increment(static_cast<uint32_t>(slot));
    if (known) return;
    literal(value);
    tree.Insert(value);
  }

  std::unique_ptr<std::array<mio::ErinaTree, 257>> trees_;
  uint32_t context_ = 0;
};

inline void PutU32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
}
inline void PutRecord(std::string& out, const std::string& id, const std::string& payload) {
  out += id;
  PutU32(out, static_cast<uint32_t>(payload.size()));
  PutU32(out, 0);
  out += payload;
}

struct MioChunkPlan {
  uint32_t frames = 0;
  bool lead = true;
  std::vector<uint8_t> bitstream;
};

struct MioPlan {
  uint32_t transformation = 0x03020000;
  uint32_t architecture = 0xFFFFFFFC;
  uint32_t channels = 1;
  uint32_t rate = 22050;
  uint32_t subbandDegree = 0;
  uint32_t lappedDegree = 0;
  uint32_t bits = 16;
  std::string descript;  // raw payload of a "descript" record; none when empty
  std::vector<MioChunkPlan> chunks;
};

inline std::string MakeMio(const MioPlan& plan) {
  std::string file("Entis\x1A\0\0", 8);
  PutU32(file, 0x03000100);
  PutU32(file, 0);
  std::string description = "Music Interleaved and Orthogonal transformed";
  description.resize(48, '\0');
  file += description;
  std::string header;
  PutRecord(header, "FileHdr ", std::string("\x00\x01\x02\x00\x00\x01\x00\x00\x01", 9) + std::string(11, '\0'));
  uint32_t total = 0;
  for (const auto& chunk : plan.chunks) total += chunk.frames;
  std::string info;
  for (uint32_t v : {0x00020300u, plan.transformation, plan.architecture, plan.channels, plan.rate, 0u,
                     plan.subbandDegree, total, plan.lappedDegree, plan.bits}) {
    PutU32(info, v);
  }
  PutRecord(header, "SoundInf", info);
  if (!plan.descript.empty()) PutRecord(header, "descript", plan.descript);
  PutRecord(file, "Header  ", header);
  std::string stream;
  for (const auto& chunk : plan.chunks) {
    std::string payload;
    payload.push_back(1);
    payload.push_back(chunk.lead ? 1 : 0);
    payload.append(2, '\0');
    PutU32(payload, chunk.frames);
    payload.append(chunk.bitstream.begin(), chunk.bitstream.end());
    PutRecord(stream, "SoundStm", payload);
  }
  PutRecord(file, "Stream  ", stream);
  return file;
}

// The ERINA bytes of a lossless 16-bit chunk (`frames` frames of interleaved
// `samples`): per channel a high and a low plane of second differences.
inline std::vector<uint8_t> LosslessBytes16(const std::vector<int16_t>& samples, uint32_t channels) {
  const std::size_t n = samples.size() / channels;
  std::vector<uint8_t> bytes(2 * samples.size());
  for (std::size_t c = 0; c < channels; ++c) {
    uint16_t previous = 0, previousDelta = 0;
    for (std::size_t j = 0; j < n; ++j) {
      const auto x = static_cast<uint16_t>(samples[j * channels + c]);
      const auto delta = static_cast<uint16_t>(x - previous);
      const auto d = static_cast<uint16_t>(delta - previousDelta);
      previous = x;
      previousDelta = delta;
      const auto low = static_cast<uint8_t>(d & 0xFF);
      bytes[2 * c * n + n + j] = low;
      bytes[2 * c * n + j] = static_cast<uint8_t>((d >> 8) ^ (low >= 0x80 ? 0xFF : 0x00));
    }
  }
  return bytes;
}

// A lossless 16-bit file of `samples` (interleaved) cut into chunks of
// `chunkFrames`, every `leadEvery`-th chunk a lead chunk.
inline std::string MakeLosslessMio(const std::vector<int16_t>& samples, uint32_t channels, uint32_t rate,
                                   uint32_t chunkFrames, uint32_t leadEvery, const std::string& descript = "") {
  MioPlan plan;
  plan.channels = channels;
  plan.rate = rate;
  plan.descript = descript;
  ErinaEncoder encoder;
  const std::size_t frames = samples.size() / channels;
  for (std::size_t first = 0, index = 0; first < frames; first += chunkFrames, ++index) {
    const std::size_t count = std::min<std::size_t>(chunkFrames, frames - first);
    MioChunkPlan chunk;
    chunk.frames = static_cast<uint32_t>(count);
    chunk.lead = index % leadEvery == 0;
    if (chunk.lead) encoder.Reset();
    std::vector<int16_t> part(samples.begin() + static_cast<long>(first * channels),
                              samples.begin() + static_cast<long>((first + count) * channels));
    BitWriter bits;
    encoder.Encode(LosslessBytes16(part, channels), bits);
    chunk.bitstream = bits.Bytes();
    plan.chunks.push_back(std::move(chunk));
  }
  return MakeMio(plan);
}

}  // namespace qorve::test
