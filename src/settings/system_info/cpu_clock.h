// Measures the processor's clock: time-stamp counter ticks over a short
// busy wait, timed by the finest clock the system offers.
#pragma once

#include <cstdint>

namespace qorve {

// Which clock times the measurement: 2 a fine clock (more than 1000 counts
// per second), 1 the millisecond clock with a period below 10 ms, 0 the
// coarse tick.
struct TimerSource {
  int kind;
  double countsPerSecond;
};

// The source for a clock whose resolution is `resolutionNs` nanoseconds
// (fine clock) and whose millisecond clock resolves `millisecondClockNs`.
TimerSource ChooseTimerSource(int64_t fineResolutionNs, int64_t millisecondClockNs);

// Processor clock in Hz measured over about `milliseconds` of busy waiting
// (0 where the processor has no time-stamp counter). Blocks the calling thread.
double MeasureCpuHz(unsigned milliseconds);

}  // namespace qorve
