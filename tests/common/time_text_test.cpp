#include "common/time_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>

namespace qorve {
namespace {

struct TimeCase {
  double seconds;
  int form;
  int decimal;
  const char* text;
};

void PrintTo(const TimeCase& c, std::ostream* out) {
  *out << c.seconds << " s, form " << c.form << ", decimal " << c.decimal;
}

class FormatTimeTest : public ::testing::TestWithParam<TimeCase> {};

TEST_P(FormatTimeTest, GivesTheDisplayText) {
  const TimeCase& c = GetParam();
  EXPECT_EQ(FormatTime(c.seconds, c.form, c.decimal), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    AllForms, FormatTimeTest,
    ::testing::Values(
        // hours, minutes and seconds
        TimeCase{3725.5, 2, 1, " 1時間  2分 5.500秒"}, TimeCase{3725.5, 2, 0, " 1： 2： 5"},
        TimeCase{36000.0, 2, 0, "10： 0： 0"}, TimeCase{3600.0, 2, 1, " 1時間  0分 0.000秒"},
        // minutes and seconds
        TimeCase{65.25, 2, 1, " 1分 5.250秒"}, TimeCase{65.25, 2, 0, " 1分  5秒"},
        TimeCase{599.9999, 2, 1, " 9分 60.000秒"},
        // seconds only
        TimeCase{0.4, 2, 0, " 0秒"}, TimeCase{0.4, 2, 1, "0.400秒"}, TimeCase{59.75, 2, 1, "59.750秒"},
        TimeCase{-0.5, 2, 1, "-0.500秒"},
        // forms 0 and 1 ignore the decimal flag
        TimeCase{65.25, 1, 1, " 1分  5秒"}, TimeCase{65.25, 1, 0, " 1分  5秒"}, TimeCase{6000.0, 1, 0, "100分  0秒"},
        TimeCase{65.25, 0, 0, "65秒"}, TimeCase{65.99, 0, 1, "65秒"},
        // unknown forms give nothing
        TimeCase{65.25, 3, 1, ""}, TimeCase{65.25, -1, 0, ""}));

TEST(FormatTimeTest, NumbersOutsideTheRangeOfSecondsAreHeldToIt) {
  EXPECT_EQ(FormatTime(std::nan(""), 0, 0), "0秒");
  EXPECT_EQ(FormatTime(std::numeric_limits<double>::infinity(), 0, 0), "2147483647秒");
  EXPECT_EQ(FormatTime(1e300, 2, 0), "596523：14： 7");
  EXPECT_FALSE(FormatTime(-1e300, 2, 1).empty());
}

}  // namespace
}  // namespace qorve
