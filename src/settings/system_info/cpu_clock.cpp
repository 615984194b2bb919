#include "settings/system_info/cpu_clock.h"

#include "platform/system/clock.h"

#include <time.h>

#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#endif

namespace qorve {
namespace {

int64_t ResolutionNs(clockid_t clock) {
  timespec resolution{};
  if (clock_getres(clock, &resolution) != 0) return 0;
  return static_cast<int64_t>(resolution.tv_sec) * 1'000'000'000 + resolution.tv_nsec;
}

int64_t NowNs(clockid_t clock) {
  timespec now{};
  clock_gettime(clock, &now);
  return static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// The counter reading of the chosen source, in its own counts.
double ReadTimer(const TimerSource& source) {
  switch (source.kind) {
    case 2: return static_cast<double>(NowNs(CLOCK_MONOTONIC_RAW));
    case 1: return static_cast<double>(NowNs(CLOCK_MONOTONIC) / 1'000'000);
    default: return static_cast<double>(NowNs(CLOCK_MONOTONIC_COARSE) / 1'000'000);
  }
}

}  // namespace

TimerSource ChooseTimerSource(int64_t fineResolutionNs, int64_t millisecondClockNs) {
  // More than 1000 counts per second means a resolution finer than 1 ms.
  if (fineResolutionNs > 0 && fineResolutionNs < 1'000'000) return {2, 1e9};
  if (millisecondClockNs > 0 && millisecondClockNs < 10'000'000) return {1, 1000.0};
  return {0, 1000.0};
}

double MeasureCpuHz(unsigned milliseconds) {
#if defined(__x86_64__) || defined(__i386__)
  const TimerSource source =
      ChooseTimerSource(ResolutionNs(CLOCK_MONOTONIC_RAW), ResolutionNs(CLOCK_MONOTONIC));
  const double t0 = ReadTimer(source);
  const uint64_t c0 = __rdtsc();
  // Unsigned subtraction copes with the 32-bit tick wrapping.
  const uint32_t start = TimeGetTime();
  while (TimeGetTime() - start < milliseconds) {
  }
  const double t1 = ReadTimer(source);
  const uint64_t c1 = __rdtsc();
  const double seconds = (t1 - t0) / source.countsPerSecond;
  if (!(seconds > 0)) return 0;
  return static_cast<double>(c1 - c0) / seconds;
#else
  (void)milliseconds;
  return 0;
#endif
}

}  // namespace qorve
