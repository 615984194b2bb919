// MIO files made by tests: the container with its records, an ERINA encoder
// (the decoder's own trees run in the other direction) for lossless chunks of
// chosen samples, and for lossy chunks the side information and the three
// coefficient coders: ERINA byte planes, the ERISA arithmetic coder and gamma
// run-length words, each written from the format's description of its
// decoder.
#pragma once

#include "libs/mio/erina_huffman.h"

#include <algorithm>
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
  // Encodes the bytes of chunks that follow one another without a lead
  // chunk between them, one bit string each: a zero run goes on across the
  // borders, its length coded where its first zero is, and the chunks it
  // reaches into start with the symbols after it.
  std::vector<BitWriter> EncodeAcross(const std::vector<std::vector<uint8_t>>& chunks) {
    std::vector<BitWriter> outs(chunks.size());
    std::vector<std::pair<std::size_t, std::size_t>> places;  // (chunk, index) of every byte
    for (std::size_t c = 0; c < chunks.size(); ++c) {
      for (std::size_t i = 0; i < chunks[c].size(); ++i) places.emplace_back(c, i);
    }
    auto byteAt = [&](std::size_t at) { return chunks[places[at].first][places[at].second]; };
    for (std::size_t at = 0; at < places.size();) {
      BitWriter& out = outs[places[at].first];
      const uint8_t value = byteAt(at);
      Put((*trees_)[context_], value, out, [&out](uint32_t v) { out.Bits(v, 8); });
      ++at;
      if (value == 0) {
        uint32_t run = 1;
        while (at < places.size() && byteAt(at) == 0) ++run, ++at;
        Put((*trees_)[256], run, out, [&out](uint32_t v) { out.Gamma(v); });
      }
      context_ = value;
    }
    return outs;
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

// Gamma run-length words: a first bit saying whether the first run holds
// values (1) or zeros (0), then alternating runs, each its length in gamma
// code; a value is a sign bit (1 negative) and its magnitude in gamma code.
// Values in a value run are never 0.
inline void PutGammaWords(const std::vector<int32_t>& words, BitWriter& out) {
  if (words.empty()) return;
  bool values = words[0] != 0;
  out.Bit(values ? 1 : 0);
  for (std::size_t at = 0; at < words.size();) {
    std::size_t end = at;
    while (end < words.size() && (words[end] != 0) == values) ++end;
    out.Gamma(static_cast<uint32_t>(end - at));
    if (values) {
      for (std::size_t i = at; i < end; ++i) {
        out.Bit(words[i] < 0 ? 1 : 0);
        out.Gamma(static_cast<uint32_t>(words[i] < 0 ? -words[i] : words[i]));
      }
    }
    at = end;
    values = !values;
  }
}

// The ERISA arithmetic encoder: the decoder's frequency models kept the same
// way, and a low end of the coding interval as a growing string of bits (the
// decoder's code register is the distance of the written number from it).
class ErisaEncoder {
 public:
  ErisaEncoder() { Reset(); }
  // Every model fresh, the context model 0 (a lead chunk).
  void Reset() {
    models_.assign(260, Model());
    current_ = 0;
  }
  // Codes one chunk's words and appends its bits to `out`; the models and
  // the context carry over to the next chunk, a zero run does not.
  void Encode(const std::vector<int32_t>& words, BitWriter& out) {
    low_.assign(32, 0);  // the decoder loads 32 bits; the interval starts at 0
    range_ = 0xFFFF;
    for (std::size_t i = 0; i < words.size();) {
      const int32_t w = words[i];
      if (w >= -128 && w <= 127) {
        Put(models_[current_], w & 0xFF);
        current_ = static_cast<std::size_t>(w & 0xFF);
        ++i;
        if (w == 0) {
          std::size_t run = 0;
          while (i < words.size() && words[i] == 0 && run < 255) ++run, ++i;
          Put(models_[kRun], static_cast<int>(run));
        }
      } else {
        Put(models_[current_], kEscape);
        Put(models_[kPhraseIndex], (w >> 8) & 0xFF);
        Put(models_[kPhraseLength], w & 0xFF);
        current_ = kEscapeContext;
        ++i;
      }
    }
    for (uint8_t bit : low_) out.Bit(bit);
  }

 private:
  static constexpr int kEscape = -1;
  static constexpr std::size_t kEscapeContext = 256, kRun = 257, kPhraseIndex = 258, kPhraseLength = 259;

  // Entries sorted by falling count; a bumped entry moves ahead of every
  // entry with a smaller count; all counts halve when the total reaches 8192.
  struct Model {
    std::vector<uint32_t> counts = std::vector<uint32_t>(257, 1);
    std::vector<int> symbols;
    uint32_t total = 257;
    Model() {
      for (int i = 0; i < 256; ++i) symbols.push_back(i);
      symbols.push_back(kEscape);
    }
    void Bump(std::size_t index) {
      ++counts[index];
      while (index > 0 && counts[index - 1] < counts[index]) {
        std::swap(counts[index - 1], counts[index]);
        std::swap(symbols[index - 1], symbols[index]);
        --index;
      }
      if (++total >= 0x2000) {
        total = 0;
        for (uint32_t& c : counts) total += c = (c + 1) >> 1;
      }
    }
  };

  void Put(Model& model, int symbol) {
    const std::size_t index =
        static_cast<std::size_t>(std::find(model.symbols.begin(), model.symbols.end(), symbol) - model.symbols.begin());
    uint32_t before = 0;
    for (std::size_t i = 0; i < index; ++i) before += model.counts[i];
    // The decoder takes the symbol whose share holds code·total/range, then
    // moves the interval to [⌈range·before/total⌉, + ⌊range·count/total⌋).
    Add((range_ * before + model.total - 1) / model.total);
    range_ = range_ * model.counts[index] / model.total;
    while (range_ < 0x8000) {
      range_ <<= 1;
      low_.push_back(0);
    }
    model.Bump(index);
  }
  // low += value, with the carry running into the bits already written.
  void Add(uint32_t value) {
    uint32_t carry = 0;
    for (std::size_t i = low_.size(); i-- > 0 && (value != 0 || carry != 0);) {
      const uint32_t sum = low_[i] + (value & 1) + carry;
      low_[i] = static_cast<uint8_t>(sum & 1);
      carry = sum >> 1;
      value >>= 1;
    }
  }

  std::vector<Model> models_;
  std::size_t current_ = 0;
  std::vector<uint8_t> low_;
  uint32_t range_ = 0xFFFF;
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

// The coefficient coders of lossy chunks.
enum class LossyCoder { Erina, Erisa, GammaWords };

// One lossy chunk: division codes per subband (per subband and channel,
// channel after channel, on the plain path; one per subband with the stereo
// rotation) and the coefficients in the order the blocks take them.
struct LossyChunkPlan {
  uint32_t frames = 0;
  bool lead = true;
  std::vector<uint8_t> divisions;
  std::vector<int32_t> words;
};

// Weight code whose six 5-bit band fields are 15 (weight 1) and whose
// odd-position factor is 1.
constexpr uint32_t kFlatWeights = 0x1EF7BDEF;

// The side information: a 0 bit, division codes and each block's parameters
// (rotation code with the stereo rotation, weight code, coefficient), a 0 bit.
inline void PutLossySideInformation(BitWriter& bits, const std::vector<uint8_t>& divisions, uint32_t channels,
                                    bool mss, uint32_t coefficient) {
  auto parameters = [&](int rotationBits, uint32_t rotation) {
    if (rotationBits != 0) bits.Bits(rotation, rotationBits);
    bits.Bits(kFlatWeights, 32);
    bits.Bits(coefficient, 16);
  };
  bits.Bit(0);
  if (mss) {
    int last = -1;
    for (std::size_t i = 0; i < divisions.size(); ++i) {
      const int d = divisions[i];
      bits.Bits(static_cast<uint32_t>(d), 2);
      bool lead = false;
      if (d != last) {
        if (i > 0) parameters(2, 1);
        lead = true;
        last = d;
      }
      for (int r = 0; r < (1 << d); ++r, lead = false) parameters(lead ? 2 : 4, lead ? 3 : 6);
    }
    if (!divisions.empty()) parameters(2, 2);
  } else {
    const std::size_t subbands = divisions.size() / channels;
    int last[2] = {-1, -1};
    for (std::size_t i = 0; i < subbands; ++i) {
      for (uint32_t c = 0; c < channels; ++c) {
        const int d = divisions[i * channels + c];
        bits.Bits(static_cast<uint32_t>(d), 2);
        if (d != last[c]) {
          if (i > 0) parameters(0, 0);
          last[c] = d;
        }
        for (int r = 0; r < (1 << d); ++r) parameters(0, 0);
      }
    }
    if (subbands > 0) {
      for (uint32_t c = 0; c < channels; ++c) parameters(0, 0);
    }
  }
  bits.Bit(0);
}

// A lossy file (16-bit, lapped degree 1) of `chunks`; transformation 5 (plain)
// or 0x105 (stereo rotation). Every chunk's words must number its frames
// rounded up to whole subbands of 2^subbandDegree, times the channels.
inline std::string MakeLossyMio(uint32_t transformation, LossyCoder coder, uint32_t channels, uint32_t subbandDegree,
                                const std::vector<LossyChunkPlan>& chunks, uint32_t coefficient = 16) {
  MioPlan plan;
  plan.transformation = transformation;
  plan.architecture = coder == LossyCoder::Erina ? 0xFFFFFFFF : coder == LossyCoder::Erisa ? 0xFFFFFFF0 : 0xFFFFFFFE;
  plan.channels = channels;
  plan.subbandDegree = subbandDegree;
  plan.lappedDegree = 1;
  const bool mss = transformation == 0x105 && channels == 2;
  ErinaEncoder erina;
  ErisaEncoder erisa;
  for (const LossyChunkPlan& chunk : chunks) {
    if (chunk.lead) {
      erina.Reset();
      erisa.Reset();
    }
    BitWriter bits;
    PutLossySideInformation(bits, chunk.divisions, channels, mss, coefficient);
    if (coder == LossyCoder::GammaWords) {
      PutGammaWords(chunk.words, bits);
    } else if (coder == LossyCoder::Erisa) {
      erisa.Encode(chunk.words, bits);
    } else {
      // High then low byte planes in frequency-major order: the coefficient
      // at position i of row j (a subband, per channel on the plain path)
      // comes i·rows + j-th.
      const std::size_t count = chunk.words.size();
      const std::size_t width = (mss ? 2u : 1u) << subbandDegree;
      const std::size_t rows = count / width;
      std::vector<uint8_t> bytes(2 * count);
      for (std::size_t i = 0; i < width; ++i) {
        for (std::size_t j = 0; j < rows; ++j) {
          const auto q = static_cast<uint16_t>(chunk.words[j * width + i]);
          const auto low = static_cast<uint8_t>(q & 0xFF);
          bytes[count + i * rows + j] = low;
          bytes[i * rows + j] = static_cast<uint8_t>((q >> 8) ^ (low >= 0x80 ? 0xFF : 0x00));
        }
      }
      erina.Encode(bytes, bits);
    }
    plan.chunks.push_back({chunk.frames, chunk.lead, bits.Bytes()});
  }
  return MakeMio(plan);
}

}  // namespace qorve::test
