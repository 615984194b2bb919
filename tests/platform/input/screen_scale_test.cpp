// A pointer position polled from the X server (device pixels) turned into the
// logical pixels of the windows' geometry, on screens laid out as Qt 6 lays
// them out (the corner kept, the size divided by the ratio).
#include "platform/input/screen_scale.h"

#include <gtest/gtest.h>

#include <vector>

namespace qorve {
namespace {

struct Case {
  const char* name;
  std::vector<ScreenScale> screens;
  int deviceX, deviceY;
  int logicalX, logicalY;
};

class DeviceToLogicalTest : public ::testing::TestWithParam<Case> {};

TEST_P(DeviceToLogicalTest, LandsInTheLogicalPixelThatHoldsIt) {
  const Case& c = GetParam();
  int x = c.deviceX, y = c.deviceY;
  DeviceToLogical(x, y, c.screens);
  EXPECT_EQ(x, c.logicalX);
  EXPECT_EQ(y, c.logicalY);
}

// One 1280 x 1024 screen, and two side by side: 1280 x 1080 and 640 x 1080
// (xrandr --setmonitor on one server), with QT_SCREEN_SCALE_FACTORS "1;2"
// and "2;1.5". The expected points are where Qt puts the windows that cover
// them (a logical window at 100 with ratio 1.5 starts at device pixel 150).
const std::vector<ScreenScale> kOne1{{0, 0, 1280, 1024, 1.0}};
const std::vector<ScreenScale> kOne125{{0, 0, 1280, 1024, 1.25}};
const std::vector<ScreenScale> kOne15{{0, 0, 1280, 1025, 1.5}};  // 853 x 683 logical, multiplied back
const std::vector<ScreenScale> kOne2{{0, 0, 1280, 1024, 2.0}};
const std::vector<ScreenScale> kPair12{{0, 0, 1280, 1080, 1.0}, {1280, 0, 640, 1080, 2.0}};
const std::vector<ScreenScale> kPair215{{0, 0, 1280, 1080, 2.0}, {1280, 0, 641, 1080, 1.5}};
// A screen at a negative place, left of the primary one.
const std::vector<ScreenScale> kLeftOf{{-1600, 0, 1600, 1200, 2.0}, {0, 0, 1280, 1024, 1.0}};
// Sizes rounded up by a pixel each, so the first overlaps the second.
const std::vector<ScreenScale> kOverlap{{0, 0, 1281, 1024, 1.5}, {1280, 0, 1281, 1024, 2.0}};

INSTANTIATE_TEST_SUITE_P(
    Screens, DeviceToLogicalTest,
    ::testing::Values(Case{"Ratio1Unchanged", kOne1, 301, 977, 301, 977},
                      Case{"NoScreensUnchanged", {}, 301, 977, 301, 977},
                      Case{"Ratio125", kOne125, 125, 250, 100, 200},
                      Case{"Ratio125WithinThePixel", kOne125, 126, 251, 100, 200},
                      Case{"Ratio15", kOne15, 150, 300, 100, 200},
                      Case{"Ratio15LastDevicePixelOfTheLogicalOne", kOne15, 149, 299, 99, 199},
                      Case{"Ratio15ScreenCorner", kOne15, 1279, 1023, 852, 682},
                      Case{"Ratio2", kOne2, 200, 400, 100, 200},
                      Case{"Ratio2OddPixel", kOne2, 301, 301, 150, 150},
                      Case{"Ratio2Origin", kOne2, 0, 0, 0, 0},
                      Case{"PairFirstAtRatio1", kPair12, 100, 100, 100, 100},
                      Case{"PairSecondAtRatio2KeepsItsCorner", kPair12, 1280, 0, 1280, 0},
                      Case{"PairSecondAtRatio2", kPair12, 1300, 100, 1290, 50},
                      Case{"PairSecondFarCorner", kPair12, 1919, 1079, 1599, 539},
                      Case{"PairFirstAtRatio2", kPair215, 1279, 0, 639, 0},
                      Case{"PairSecondAtRatio15", kPair215, 1300, 100, 1293, 66},
                      Case{"NegativePlaceKeepsItsCorner", kLeftOf, -1599, 11, -1600, 5},
                      Case{"NegativePlaceRightEdge", kLeftOf, -1, 1199, -801, 599},
                      Case{"RightOfTheNegativeScreen", kLeftOf, 640, 480, 640, 480},
                      Case{"OverlapGoesToTheNearerCorner", kOverlap, 1280, 10, 1280, 5},
                      Case{"OffEveryScreenByTheNearest", kPair12, 2000, 200, 1640, 100}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qorve
