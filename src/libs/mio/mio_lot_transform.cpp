#include "libs/mio/mio_lot_transform.h"

#include <cmath>
#include <cstring>

namespace qorve::mio {
namespace {

// The value of π the reference encoder and decoders use.
constexpr double kPi = 3.141592653589;

}  // namespace

const LotTables& LotTables::Get() {
  static const LotTables tables;
  return tables;
}

LotTables::LotTables() {
  for (int degree = 1; degree <= kMaxBlockDegree; ++degree) {
    const int h = 1 << degree;
    std::vector<float>& table = cosines_[degree];
    table.resize(static_cast<std::size_t>(h));
    for (int j = 0; j < h; ++j) table[static_cast<std::size_t>(j)] = static_cast<float>(std::cos((2 * j + 1) * kPi / (4.0 * h)));
  }
  for (int degree = kMinBlockDegree; degree <= kMaxBlockDegree; ++degree) {
    const int n = 1 << degree;
    const double k = kPi / (2.0 * n);
    for (int stride = 2; stride < n; stride *= 8) {
      std::array<Rotation, 7> level{};
      for (int i = 0; i < 7; ++i) {
        double ws = 1.0;
        double a = 0.0;
        for (int j = 0; j < i; ++j) {
          a += stride;
          ws = ws * level[static_cast<std::size_t>(j)].sine + level[static_cast<std::size_t>(j)].cosine * std::cos(a * k);
        }
        const double r = std::atan2(ws, std::cos((a + stride) * k));
        level[static_cast<std::size_t>(i)] = {static_cast<float>(std::sin(r)), static_cast<float>(std::cos(r))};
      }
      levels_[degree].push_back(level);
    }
  }
}

bool Dequantize(uint32_t weightCode, uint32_t coefficient, int degree, const int32_t* q, float* v) {
  if (degree < kMinWeightedBlockDegree || degree > kMaxBlockDegree) return false;
  const int n = 1 << degree;
  static constexpr int kWidthShift[7] = {-6, -6, -5, -4, -3, -2, -1};
  int points[7];
  int sum = 0;
  for (int i = 0; i < 7; ++i) {
    const int width = 1 << (degree + kWidthShift[i]);
    points[i] = sum + width / 2;
    sum += width;
  }
  double average[7];
  for (int i = 0; i < 6; ++i) {
    average[i] = 1.0 / std::pow(2.0, (static_cast<int>((weightCode >> (5 * i)) & 31) - 15) * 0.5);
  }
  average[6] = 1.0;
  float weight[4096];
  int p = 0;
  for (; p < points[0]; ++p) weight[p] = static_cast<float>(average[0]);
  for (int j = 1; j < 7; ++j) {
    const double slope = (average[j] - average[j - 1]) / (points[j] - points[j - 1]);
    for (; p < points[j]; ++p) weight[p] = static_cast<float>(slope * (p - points[j - 1]) + average[j - 1]);
  }
  for (; p < n; ++p) weight[p] = 1.0f;
  const double odd = (((weightCode >> 30) & 3) + 2) / 2.0;
  for (p = 15; p < n; p += 16) weight[p] = static_cast<float>(weight[p] * odd);
  weight[n - 1] = static_cast<float>(coefficient);
  const double scale = std::sqrt(2.0 / n) * coefficient;
  for (p = 0; p < n; ++p) {
    const float inverse = 1.0f / weight[p];
    v[p] = static_cast<float>(scale * inverse * q[p]);
  }
  return true;
}

void OddGivensInverse(float* x, int degree) {
  const int n = 1 << degree;
  const auto& levels = LotTables::Get().Levels(degree);
  auto rotate = [x](const LotTables::Rotation& r, int p, int q) {
    const float a = x[p];
    x[p] = a * r.cosine + x[q] * r.sine;
    x[q] = x[q] * r.cosine - a * r.sine;
  };
  int count = n / 16;
  int top = 0;
  for (;;) {
    ++top;
    if (count <= 8) break;
    count /= 8;
  }
  if (static_cast<std::size_t>(top) >= levels.size()) return;  // N = 16 or less: nothing to rotate
  int stride = 2;
  for (int i = 0; i < top; ++i) stride *= 8;
  for (int j = count - 2; j >= 0; --j) {
    rotate(levels[static_cast<std::size_t>(top)][static_cast<std::size_t>(j)], stride - 1 + j * stride,
           stride - 1 + (j + 1) * stride);
  }
  for (int level = top - 1; level >= 0; --level) {
    stride /= 8;
    const auto& angles = levels[static_cast<std::size_t>(level)];
    for (int group = 0; group < n / (8 * stride); ++group) {
      const int base = group * 8 * stride + stride - 1;
      for (int j = 6; j >= 0; --j) rotate(angles[static_cast<std::size_t>(j)], base + j * stride, base + (j + 1) * stride);
    }
  }
}

namespace {

const float kC4 = static_cast<float>(std::cos(kPi / 4));
const float kC42 = 2 * kC4;

// y[0] = ½Σx, y[m] = Σ x[k]·cos(π·m·(2k+1)/(2M)); M = 2^degree ≥ 4. `work`
// holds at least 2M floats; x and y may not overlap.
void ForwardDct(const float* x, float* y, int degree, float* work) {
  const std::vector<float>& k2 = LotTables::Get().Cosines(1);
  if (degree == 2) {
    const float a = x[0] + x[3], e = x[0] - x[3], b = x[1] + x[2], f = x[1] - x[2];
    y[0] = 0.5f * (a + b);
    y[2] = kC4 * (a - b);
    const float e2 = k2[0] * e, f2 = k2[1] * f;
    const float p = e2 + f2;
    y[1] = p;
    y[3] = kC42 * (e2 - f2) - p;
    return;
  }
  const int m = 1 << degree, h = m / 2;
  const std::vector<float>& kh = LotTables::Get().Cosines(degree - 1);
  float* u = work;
  float* t = work + h;
  for (int i = 0; i < h; ++i) {
    u[i] = x[i] + x[m - 1 - i];
    t[i] = (x[i] - x[m - 1 - i]) * kh[static_cast<std::size_t>(i)];
  }
  float* half = work + m;  // h floats, then the deeper levels' work
  ForwardDct(u, half, degree - 1, half + h);
  for (int i = 0; i < h; ++i) y[2 * i] = half[i];
  ForwardDct(t, half, degree - 1, half + h);
  half[0] = half[0] + half[0];
  y[1] = half[0];
  for (int i = 1; i < h; ++i) {
    half[i] = half[i] + half[i];
    half[i] -= half[i - 1];
    y[2 * i + 1] = half[i];
  }
}

void InverseDctRecursive(const float* in, float* out, int degree, float* work) {
  if (degree == 2) {
    const std::vector<float>& k2 = LotTables::Get().Cosines(1);
    const float a0 = in[0], a1 = kC4 * in[2];
    const float b0 = a0 + a1, b1 = a0 - a1;
    const float g0 = k2[0] * in[1], g1 = k2[1] * in[3];
    const float b2 = g0 + g1;
    const float b3 = kC42 * (g0 - g1) - b2;
    out[0] = b0 + b2;
    out[1] = b1 + b3;
    out[2] = b1 - b3;
    out[3] = b0 - b2;
    return;
  }
  const int m = 1 << degree, h = m / 2;
  const std::vector<float>& kh = LotTables::Get().Cosines(degree - 1);
  float* even = work;
  float* odd = work + h;
  for (int i = 0; i < h; ++i) {
    even[i] = in[2 * i];
    odd[i] = in[2 * i + 1] * kh[static_cast<std::size_t>(i)];
  }
  float* deeper = work + m;
  InverseDctRecursive(even, out, degree - 1, deeper);
  ForwardDct(odd, out + h, degree - 1, deeper);
  float* z = out + h;
  z[0] = z[0] + z[0];
  for (int i = 1; i < h; ++i) {
    z[i] = z[i] + z[i];
    z[i] -= z[i - 1];
  }
  for (int i = 0; i < h / 2; ++i) {
    const float r0 = out[i] + out[h + i], r3 = out[i] - out[h + i];
    const float r1 = out[h - 1 - i] + out[m - 1 - i], r2 = out[h - 1 - i] - out[m - 1 - i];
    out[i] = r0;
    out[h - 1 - i] = r1;
    out[h + i] = r2;
    out[m - 1 - i] = r3;
  }
}

}  // namespace

void InverseDct(const float* in, float* out, int degree, float* scratch) {
  InverseDctRecursive(in, out, degree, scratch);
}

}  // namespace qorve::mio
