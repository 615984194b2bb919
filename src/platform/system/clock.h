// Millisecond tick and short sleeps: the player's only sense of time.
#pragma once

#include <cstdint>

namespace qorve {

// Milliseconds of a monotonic clock as an unsigned 32-bit value. It wraps after
// about 49.7 days, so compare ticks by unsigned difference, never by "<".
uint32_t TimeGetTime();

// Sleeps at least `ms` milliseconds (1 ms is the polling period of the player).
void SleepMs(uint32_t ms);

}  // namespace qorve
