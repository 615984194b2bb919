#include "libs/mio/mio_lossy.h"

#include "libs/mio/mio_gamma_words.h"
#include "libs/mio/mio_lot_transform.h"

#include <algorithm>
#include <cmath>

namespace qorve::mio {
namespace {

constexpr double kPi = 3.141592653589;
constexpr std::size_t kMaxBlock = std::size_t{1} << kMaxBlockDegree;

struct Angle {
  float sine;
  float cosine;
};

Angle RotationAngle(uint32_t code) {
  const double phi = code * kPi / 8;
  return {static_cast<float>(std::sin(phi)), static_cast<float>(std::cos(phi))};
}

// Rotates the pair (a[p], b[p]) for p = first, first + step, ... below n.
void Rotate(float* a, float* b, std::size_t first, std::size_t step, std::size_t n, uint32_t code) {
  const Angle angle = RotationAngle(code);
  for (std::size_t p = first; p < n; p += step) {
    const float x = a[p], y = b[p];
    a[p] = x * angle.cosine - y * angle.sine;
    b[p] = x * angle.sine + y * angle.cosine;
  }
}

// Pairwise (a, b) → (½(a+b), ½(a−b)).
void InversePairs(float* x, std::size_t n) {
  for (std::size_t k = 0; k < n; k += 2) {
    const float a = x[k], b = x[k + 1];
    x[k] = 0.5f * (a + b);
    x[k + 1] = 0.5f * (a - b);
  }
}

// Rounds half away from zero and holds to 16 bits; NaN (a coefficient of 0
// in a corrupt block divides by zero) is silence.
int16_t ToSample(float r) {
  if (std::isnan(r)) return 0;
  const double rounded = r >= 0 ? std::floor(r + 0.5) : std::ceil(r - 0.5);
  if (rounded <= -32768.0) return -32768;
  if (rounded >= 32767.0) return 32767;
  return static_cast<int16_t>(rounded);
}

}  // namespace

MioLossyDecoder::MioLossyDecoder(const MioSoundInfo& info)
    : info_(info),
      mss_(info.transformation == kTransformLotMss && info.channels == 2),
      blockDegree_(static_cast<int>(info.subbandDegree)) {
  for (int c = 0; c < 2; ++c) {
    lastDct_[c].assign(kMaxBlock, 0.0f);
    vectors_[c].assign(kMaxBlock, 0.0f);
  }
  mixed_.assign(kMaxBlock, 0.0f);
  idctOut_.assign(kMaxBlock, 0.0f);
  scratch_.assign(4 * kMaxBlock, 0.0f);
  quantised_.assign(kMaxBlock, 0);
}

void MioLossyDecoder::Reset() {
  erina_.Reset();
  erisaFresh_ = true;
}

bool MioLossyDecoder::BlockSizesDecodable(const uint8_t* data, std::size_t size, uint32_t frames) {
  constexpr int kMaxDivision = 3;
  if (blockDegree_ - kMaxDivision >= kMinWeightedBlockDegree) return true;
  const uint32_t width = 1u << blockDegree_;
  MioBitReader bits(data, size);
  if (!ReadSideInformation(bits, (frames + width - 1) / width)) return true;
  return std::none_of(divisions_.begin(), divisions_.end(),
                      [this](uint8_t d) { return blockDegree_ - d < kMinWeightedBlockDegree; });
}

bool MioLossyDecoder::Decode(const uint8_t* data, std::size_t size, uint32_t frames, int16_t* out) {
  const uint32_t width = 1u << blockDegree_;
  const uint32_t subbands = (frames + width - 1) / width;
  MioBitReader bits(data, size);
  if (!ReadSideInformation(bits, subbands)) return false;
  if (!ReadCoefficients(bits, static_cast<std::size_t>(subbands) * width * info_.channels, subbands)) return false;
  return mss_ ? RunMss(subbands, frames, out) : RunPlain(subbands, frames, out);
}

bool MioLossyDecoder::ReadSideInformation(MioBitReader& bits, uint32_t subbands) {
  parameters_.clear();
  nextParameter_ = 0;
  if (bits.Bit() != 0) return false;
  auto push = [&](uint32_t rotationBits) {
    BlockParameters p;
    p.rotation = rotationBits != 0 ? bits.Bits(static_cast<int>(rotationBits)) : 0;
    p.weight = bits.Bits(32);
    p.coefficient = bits.Bits(16);
    parameters_.push_back(p);
  };
  if (mss_) {
    divisions_.assign(subbands, 0);
    int last = -1;
    for (uint32_t i = 0; i < subbands; ++i) {
      const int d = static_cast<int>(bits.Bits(2));
      divisions_[i] = static_cast<uint8_t>(d);
      bool lead = false;
      if (d != last) {
        if (i > 0) push(2);
        lead = true;
        last = d;
      }
      for (int r = 0; r < (1 << d); ++r) {
        push(lead ? 2 : 4);
        lead = false;
      }
      if (bits.Overrun()) return false;
    }
    if (subbands > 0) push(2);
  } else {
    const uint32_t channels = info_.channels;
    divisions_.assign(static_cast<std::size_t>(subbands) * channels, 0);
    int last[2] = {-1, -1};
    for (uint32_t i = 0; i < subbands; ++i) {
      for (uint32_t c = 0; c < channels; ++c) {
        const int d = static_cast<int>(bits.Bits(2));
        divisions_[i * channels + c] = static_cast<uint8_t>(d);
        if (d != last[c]) {
          if (i > 0) push(0);
          last[c] = d;
        }
        for (int r = 0; r < (1 << d); ++r) push(0);
      }
      if (bits.Overrun()) return false;
    }
    if (subbands > 0) {
      for (uint32_t c = 0; c < channels; ++c) push(0);
    }
  }
  return bits.Bit() == 0 && !bits.Overrun();
}

bool MioLossyDecoder::ReadCoefficients(MioBitReader& bits, std::size_t count, uint32_t subbands) {
  q_.resize(count);
  nextQ_ = 0;
  switch (info_.architecture) {
    case kArchitectureArithmetic:
      if (erisaFresh_) {
        erisa_.ResetModels();
        erisaFresh_ = false;
      }
      erisa_.Start(bits);
      return erisa_.Decode(bits, q_.data(), count);
    case kArchitectureGammaWords:
      return DecodeGammaWords(bits, q_.data(), count);
    default:
      break;
  }
  // ERINA: a plane of high bytes, then a plane of low bytes, in frequency-major
  // order.
  bytes_.resize(2 * count);
  if (!erina_.Decode(bits, bytes_.data(), bytes_.size())) return false;
  const uint8_t* high = bytes_.data();
  const uint8_t* low = high + count;
  const std::size_t width = mss_ ? std::size_t{2} << blockDegree_ : std::size_t{1} << blockDegree_;
  const std::size_t rows = mss_ ? subbands : static_cast<std::size_t>(subbands) * info_.channels;
  for (std::size_t i = 0; i < width; ++i) {
    for (std::size_t j = 0; j < rows; ++j) {
      const std::size_t t = i * rows + j;
      const uint8_t lo = low[t];
      const auto hi = static_cast<int8_t>(high[t] ^ ((lo & 0x80) != 0 ? 0xFF : 0x00));
      q_[j * width + i] = hi * 256 + lo;
    }
  }
  return true;
}

bool MioLossyDecoder::Dequantize(const BlockParameters& parameters, int degree, bool oddOnly, float* v) {
  const std::size_t n = std::size_t{1} << degree;
  const std::size_t take = oddOnly ? n / 2 : n;
  if (q_.size() - nextQ_ < take) return false;
  if (oddOnly) {
    for (std::size_t k = 0; k < n / 2; ++k) {
      quantised_[2 * k] = 0;
      quantised_[2 * k + 1] = q_[nextQ_ + k];
    }
  } else {
    std::copy_n(q_.begin() + static_cast<std::ptrdiff_t>(nextQ_), n, quantised_.begin());
  }
  nextQ_ += take;
  return mio::Dequantize(parameters.weight, parameters.coefficient, degree, quantised_.data(), v);
}

void MioLossyDecoder::Finish(BlockKind kind, uint32_t channel, int degree, float* v, int16_t* out,
                             uint32_t& remaining, uint32_t cursor) {
  const std::size_t n = std::size_t{1} << degree;
  OddGivensInverse(v, degree);
  if (kind == BlockKind::Lead) {
    for (std::size_t k = 0; k < n; k += 2) v[k] = v[k + 1];
    InversePairs(v, n);
    std::copy_n(v, n, lastDct_[channel].begin());
    return;
  }
  if (kind == BlockKind::Post) {
    for (std::size_t k = 0; k < n; k += 2) v[k] = -v[k + 1];
  }
  InversePairs(v, n);
  float* last = lastDct_[channel].data();
  for (std::size_t k = 0; k < n; k += 2) {
    mixed_[k] = last[k] + v[k + 1];
    mixed_[k + 1] = last[k] - v[k + 1];
  }
  if (kind == BlockKind::Internal) std::copy_n(v, n, lastDct_[channel].begin());
  InverseDct(mixed_.data(), idctOut_.data(), degree, scratch_.data());
  const uint32_t count = std::min<uint32_t>(remaining, static_cast<uint32_t>(n));
  const uint32_t channels = info_.channels;
  for (uint32_t k = 0; k < count; ++k) out[(cursor + k) * channels + channel] = ToSample(idctOut_[k]);
}

bool MioLossyDecoder::RunPlain(uint32_t subbands, uint32_t frames, int16_t* out) {
  const uint32_t channels = info_.channels;
  uint32_t remaining[2] = {frames, frames};
  int last[2] = {-1, -1};
  float* v = vectors_[0].data();
  auto block = [&](BlockKind kind, uint32_t c, int division) {
    const int degree = blockDegree_ - division;
    if (nextParameter_ >= parameters_.size()) return false;
    const BlockParameters& parameters = parameters_[nextParameter_++];
    if (!Dequantize(parameters, degree, kind != BlockKind::Internal, v)) return false;
    Finish(kind, c, degree, v, out, remaining[c], frames - remaining[c]);
    if (kind != BlockKind::Lead) remaining[c] -= std::min<uint32_t>(remaining[c], 1u << degree);
    return true;
  };
  for (uint32_t i = 0; i < subbands; ++i) {
    for (uint32_t c = 0; c < channels; ++c) {
      const int d = divisions_[i * channels + c];
      bool lead = false;
      if (d != last[c]) {
        if (i > 0 && !block(BlockKind::Post, c, last[c])) return false;
        last[c] = d;
        lead = true;
      }
      for (int r = 0; r < (1 << d); ++r) {
        if (!block(lead ? BlockKind::Lead : BlockKind::Internal, c, d)) return false;
        lead = false;
      }
    }
  }
  if (subbands > 0) {
    for (uint32_t c = 0; c < channels; ++c) {
      if (!block(BlockKind::Post, c, last[c])) return false;
    }
  }
  return true;
}

bool MioLossyDecoder::RunMss(uint32_t subbands, uint32_t frames, int16_t* out) {
  uint32_t remaining = frames;
  float* v0 = vectors_[0].data();
  float* v1 = vectors_[1].data();
  auto block = [&](BlockKind kind, int division) {
    const int degree = blockDegree_ - division;
    const std::size_t n = std::size_t{1} << degree;
    if (nextParameter_ >= parameters_.size()) return false;
    const BlockParameters& parameters = parameters_[nextParameter_++];
    const bool oddOnly = kind != BlockKind::Internal;
    if (!Dequantize(parameters, degree, oddOnly, v0) || !Dequantize(parameters, degree, oddOnly, v1)) return false;
    if (kind == BlockKind::Internal) {
      Rotate(v0, v1, 0, 2, n, (parameters.rotation >> 2) & 3);
      Rotate(v0, v1, 1, 2, n, parameters.rotation & 3);
    } else {
      Rotate(v0, v1, 0, 1, n, parameters.rotation & 3);
    }
    const uint32_t cursor = frames - remaining;
    Finish(kind, 0, degree, v0, out, remaining, cursor);
    Finish(kind, 1, degree, v1, out, remaining, cursor);
    if (kind != BlockKind::Lead) remaining -= std::min<uint32_t>(remaining, static_cast<uint32_t>(n));
    return true;
  };
  int last = -1;
  for (uint32_t i = 0; i < subbands; ++i) {
    const int d = divisions_[i];
    bool lead = false;
    if (d != last) {
      if (i > 0 && !block(BlockKind::Post, last)) return false;
      last = d;
      lead = true;
    }
    for (int r = 0; r < (1 << d); ++r) {
      if (!block(lead ? BlockKind::Lead : BlockKind::Internal, d)) return false;
      lead = false;
    }
  }
  if (subbands > 0 && !block(BlockKind::Post, last)) return false;
  return true;
}

}  // namespace qorve::mio
