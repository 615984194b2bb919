// The transform steps of lossy MIO for one block of N = 2^m values (N from 32
// to 4096): dequantisation with the block's weight code, the inverse odd
// Givens rotations, and the un-normalised inverse DCT. Computed in float in
// the reference decoders' order, so that the output matches them bit for bit.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace qorve::mio {

constexpr int kMinBlockDegree = 5;   // N = 32
constexpr int kMaxBlockDegree = 12;  // N = 4096
// The weight table's narrowest band is N/64 values wide, so dequantisation
// needs N = 64 at least.
constexpr int kMinWeightedBlockDegree = 6;

// Tables for every block size, built once (read-only afterwards, so any
// number of decoders on any threads may share them).
class LotTables {
 public:
  static const LotTables& Get();

  // Rotation (sin, cos) of level `level`, index j (0..6), for block degree m.
  struct Rotation {
    float sine;
    float cosine;
  };
  const std::vector<std::array<Rotation, 7>>& Levels(int degree) const { return levels_[degree]; }
  // cos((2j+1)·π/(4h)) for table size h = 2^degree.
  const std::vector<float>& Cosines(int degree) const { return cosines_[degree]; }

 private:
  LotTables();
  std::array<std::vector<std::array<Rotation, 7>>, kMaxBlockDegree + 1> levels_;
  std::array<std::vector<float>, kMaxBlockDegree + 1> cosines_;
};

// Fills v[0..N-1] from the quantised values q (N of them; zeros where the
// block carries none) with the weight code and coefficient of the block.
// False for a block size whose weight table is undefined (N below 64, that
// is degree below kMinWeightedBlockDegree).
bool Dequantize(uint32_t weightCode, uint32_t coefficient, int degree, const int32_t* q, float* v);

// The inverse odd Givens rotations ("revolve" matrix) on x[0..N-1].
void OddGivensInverse(float* x, int degree);

// out[k] = Σ X[m]·cos(π·m·(2k+1)/(2N)); `scratch` holds at least 4N floats.
void InverseDct(const float* in, float* out, int degree, float* scratch);

}  // namespace qorve::mio
