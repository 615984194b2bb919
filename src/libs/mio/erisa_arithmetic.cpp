#include "libs/mio/erisa_arithmetic.h"

#include <algorithm>

namespace qorve::mio {
namespace {

constexpr uint32_t kHalveTotal = 0x2000;
constexpr uint32_t kMaxPostBits = 256;
constexpr std::size_t kEscapeContext = 256;
constexpr std::size_t kRunModel = 257;
constexpr std::size_t kPhraseIndexModel = 258;
constexpr std::size_t kPhraseLengthModel = 259;

}  // namespace

void ErisaDecoder::Model::Reset() {
  for (int i = 0; i < 256; ++i) {
    counts[static_cast<std::size_t>(i)] = 1;
    symbols[static_cast<std::size_t>(i)] = static_cast<int16_t>(i);
  }
  counts[256] = 1;
  symbols[256] = kEscape;
  total = kEntries;
}

// The entry's count grows; it moves ahead of every entry with a smaller count
// (keeping the order of equals), and all counts halve when the total is large.
void ErisaDecoder::Model::Bump(int index) {
  const uint16_t count = ++counts[static_cast<std::size_t>(index)];
  const int16_t symbol = symbols[static_cast<std::size_t>(index)];
  int to = index;
  while (to > 0 && counts[static_cast<std::size_t>(to - 1)] < count) {
    counts[static_cast<std::size_t>(to)] = counts[static_cast<std::size_t>(to - 1)];
    symbols[static_cast<std::size_t>(to)] = symbols[static_cast<std::size_t>(to - 1)];
    --to;
  }
  counts[static_cast<std::size_t>(to)] = count;
  symbols[static_cast<std::size_t>(to)] = symbol;
  if (++total >= kHalveTotal) {
    total = 0;
    for (uint16_t& c : counts) {
      c = static_cast<uint16_t>((c + 1) >> 1);
      total += c;
    }
  }
}

ErisaDecoder::ErisaDecoder() : models_(std::make_unique<std::array<Model, 260>>()) { ResetModels(); }

void ErisaDecoder::ResetModels() {
  for (Model& model : *models_) model.Reset();
  current_ = &(*models_)[0];
  pending_ = 0;
}

void ErisaDecoder::Start(MioBitReader& bits) {
  code_ = bits.Bits(32);
  augend_ = 0xFFFF;
  postBits_ = 0;
  pending_ = 0;
}

int ErisaDecoder::DecodeIndex(MioBitReader& bits, Model& model) {
  if (augend_ == 0 || model.total == 0) return -1;
  const uint32_t accumulated = (code_ * model.total / augend_) & 0xFFFF;
  uint32_t before = 0;
  int index = 0;
  for (; index < kEntries; ++index) {
    const uint32_t count = model.counts[static_cast<std::size_t>(index)];
    if (accumulated - before < count) break;
    before += count;
  }
  if (index == kEntries) return -1;
  const uint32_t count = model.counts[static_cast<std::size_t>(index)];
  code_ -= (augend_ * before + model.total - 1) / model.total;
  augend_ = augend_ * count / model.total;
  if (augend_ == 0) return -1;
  while ((augend_ & 0x8000) == 0) {
    uint32_t bit = 0;
    if (bits.AtEnd()) {
      if (++postBits_ >= kMaxPostBits) return -1;
    } else {
      bit = bits.Bit();
    }
    code_ = (code_ << 1) | bit;
    augend_ <<= 1;
  }
  code_ &= 0xFFFF;
  return index;
}

bool ErisaDecoder::Symbol(MioBitReader& bits, Model& model, int32_t& symbol) {
  const int index = DecodeIndex(bits, model);
  if (index < 0) return false;
  symbol = model.symbols[static_cast<std::size_t>(index)];
  model.Bump(index);
  return true;
}

bool ErisaDecoder::Decode(MioBitReader& bits, int32_t* out, std::size_t count) {
  auto& models = *models_;
  std::size_t at = 0;
  while (at < count) {
    if (pending_ > 0) {
      const std::size_t zeros = std::min<std::size_t>(pending_, count - at);
      std::fill(out + at, out + at + zeros, 0);
      at += zeros;
      pending_ -= static_cast<uint32_t>(zeros);
      continue;
    }
    int32_t symbol = 0;
    if (!Symbol(bits, *current_, symbol)) return false;
    if (symbol == kEscape) {
      int32_t high = 0, low = 0;
      if (!Symbol(bits, models[kPhraseIndexModel], high) || !Symbol(bits, models[kPhraseLengthModel], low)) {
        return false;
      }
      out[at++] = static_cast<int16_t>((static_cast<uint32_t>(high) << 8) | (static_cast<uint32_t>(low) & 0xFF));
      current_ = &models[kEscapeContext];
    } else {
      out[at++] = static_cast<int8_t>(symbol);
      current_ = &models[static_cast<std::size_t>(symbol & 0xFF)];
      if (symbol == 0) {
        int32_t run = 0;
        if (!Symbol(bits, models[kRunModel], run) || run < 0) return false;
        pending_ = static_cast<uint32_t>(run);
      }
    }
  }
  return true;
}

}  // namespace qorve::mio
