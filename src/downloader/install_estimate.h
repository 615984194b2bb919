// The elapsed and remaining time shown by the downloader's dialog, and the
// estimate of the total time the worker updates after each library.
#pragma once

#include <cstdint>
#include <string>

namespace qorve {

// Estimated total time in ms after `count` (1..12) libraries took `elapsedMs`
// together. The first estimate is deliberately generous.
uint32_t EstimateAfter(int count, uint32_t elapsedMs);

// Seconds since `startTime`, "%.1f".
std::string ElapsedText(uint32_t startTime, uint32_t now);

// "計算中" while the estimate is 0, "0" when all libraries are done, else the
// seconds left, "%.1f" (negative when the estimate was too low).
std::string RemainingText(uint32_t estimate, uint32_t startTime, uint32_t now, int count);

}  // namespace qorve
