#include "downloader/install_estimate.h"

#include <cstdio>

#include "downloader/install_state.h"

namespace qorve {
namespace {

std::string Seconds(double seconds) {
  char text[64];
  std::snprintf(text, sizeof text, "%.1f", seconds);
  return text;
}

}  // namespace

uint32_t EstimateAfter(int count, uint32_t elapsedMs) {
  const uint64_t elapsed = elapsedMs;
  if (count <= 1) return static_cast<uint32_t>((elapsed * kLibraryCount / 10) * 7);
  return static_cast<uint32_t>(elapsed / static_cast<uint64_t>(count) * kLibraryCount);
}

std::string ElapsedText(uint32_t startTime, uint32_t now) {
  return Seconds(static_cast<uint32_t>(now - startTime) * 0.001);
}

std::string RemainingText(uint32_t estimate, uint32_t startTime, uint32_t now, int count) {
  if (estimate == 0) return "計算中";
  if (count >= kLibraryCount) return "0";
  const int64_t left = static_cast<int64_t>(estimate) - static_cast<int64_t>(static_cast<uint32_t>(now - startTime));
  return Seconds(static_cast<double>(left) * 0.001);
}

}  // namespace qorve
