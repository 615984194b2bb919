#include "platform/system/clock.h"

#include <gtest/gtest.h>

namespace qorve {
namespace {

TEST(ClockTest, SleepAdvancesTheTickByAtLeastItsLength) {
  const uint32_t before = TimeGetTime();
  SleepMs(3);
  // Unsigned difference, so the check also holds across the 32-bit wrap.
  EXPECT_GE(static_cast<uint32_t>(TimeGetTime() - before), 3u);
}

}  // namespace
}  // namespace qorve
