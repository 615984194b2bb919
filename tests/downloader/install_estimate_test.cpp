// The remaining-time arithmetic and texts of the dialog.
#include "downloader/install_estimate.h"

#include <gtest/gtest.h>

namespace qorve {
namespace {

TEST(InstallEstimateTest, FirstEstimateIsGenerousLaterOnesAverage) {
  EXPECT_EQ(EstimateAfter(1, 1000), 8400u);    // 1000 x 12 / 10 x 7
  EXPECT_EQ(EstimateAfter(1, 1005), 8442u);    // integer steps: 1206 x 7
  EXPECT_EQ(EstimateAfter(4, 10001), 30000u);  // 2500 x 12
}

struct TextCase {
  uint32_t estimate, start, now;
  int count;
  const char* remaining;
};

class RemainingTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(RemainingTextTest, ShowsCalculatingNumbersOrZero) {
  const TextCase& c = GetParam();
  EXPECT_EQ(RemainingText(c.estimate, c.start, c.now, c.count), c.remaining);
}

INSTANTIATE_TEST_SUITE_P(Texts, RemainingTextTest,
                         ::testing::Values(TextCase{0, 1000, 5000, 0, "計算中"}, TextCase{8400, 1000, 2000, 1, "7.4"},
                                           TextCase{8400, 1000, 12400, 11, "-3.0"},
                                           TextCase{30000, 1000, 9000, 12, "0"},
                                           TextCase{5000, 0xFFFFFC18u, 1000, 3, "3.0"}));  // tick wrapped

TEST(InstallEstimateTest, ElapsedInTenthsOfSeconds) {
  EXPECT_EQ(ElapsedText(1000, 13350), "12.3");
  EXPECT_EQ(ElapsedText(0xFFFFFFFFu, 99), "0.1");
}

}  // namespace
}  // namespace qorve
