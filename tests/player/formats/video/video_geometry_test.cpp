// The video window's geometry: the window size of each SetVideoSize mode, the
// picture fitted with its aspect ratio, and the centring moves.
#include "player/formats/video/video_geometry.h"

#include <gtest/gtest.h>

namespace qorve {
namespace {

constexpr int kScreenWidth = 1024;
constexpr int kScreenHeight = 768;
constexpr int kFrame = 4 * kVideoWindowEdge;

struct SizeCase {
  const char* name;
  int mode;
  VideoWindowRect window;
  VideoSizePlan plan;
};

class VideoSize : public testing::TestWithParam<SizeCase> {};

TEST_P(VideoSize, PlansTheWindow) {
  const SizeCase& c = GetParam();
  const VideoSizePlan plan = PlanVideoSize(c.mode, 320, 241, c.window, kScreenWidth, kScreenHeight);
  EXPECT_EQ(plan.onlyRefit, c.plan.onlyRefit);
  if (c.plan.onlyRefit) return;
  EXPECT_EQ(plan.framed, c.plan.framed);
  EXPECT_EQ(plan.width, c.plan.width);
  EXPECT_EQ(plan.height, c.plan.height);
}

constexpr VideoWindowRect kSmallWindow{100, 100, 428, 349};
constexpr VideoWindowRect kCoveringWindow{0, 0, kScreenWidth, kScreenHeight};

INSTANTIATE_TEST_SUITE_P(
    Modes, VideoSize,
    testing::Values(SizeCase{"Natural", 0, kSmallWindow, {false, true, 320 + kFrame, 241 + kFrame}},
                    SizeCase{"Double", 1, kSmallWindow, {false, true, 640 + kFrame, 482 + kFrame}},
                    SizeCase{"HalfRoundsDown", 2, kSmallWindow, {false, true, 160 + kFrame, 120 + kFrame}},
                    SizeCase{"FullScreenBare", 3, kSmallWindow, {false, false, kScreenWidth, kScreenHeight}},
                    SizeCase{"ScreenSizedFramed", 4, kSmallWindow,
                             {false, true, kScreenWidth + kFrame, kScreenHeight + kFrame}},
                    SizeCase{"FullScreenAgainOnlyRefits", 3, kCoveringWindow, {true, true, 0, 0}},
                    // Within 5 pixels of every edge counts as covering.
                    SizeCase{"NearlyCoveringOnlyRefits", 3, {4, 4, kScreenWidth - 4, kScreenHeight - 4}, {true, true, 0, 0}},
                    SizeCase{"FiveOffIsNotCovering", 3, {5, 0, kScreenWidth, kScreenHeight},
                             {false, false, kScreenWidth, kScreenHeight}},
                    SizeCase{"CoveringButNaturalAsked", 0, kCoveringWindow, {false, true, 320 + kFrame, 241 + kFrame}},
                    SizeCase{"UnknownModeIsNatural", 7, kSmallWindow, {false, true, 320 + kFrame, 241 + kFrame}}),
    [](const testing::TestParamInfo<SizeCase>& info) { return std::string(info.param.name); });

struct FitCase {
  const char* name;
  int windowWidth, windowHeight, videoWidth, videoHeight;
  PictureRect picture;
};

class FitPicture : public testing::TestWithParam<FitCase> {};

TEST_P(FitPicture, KeepsTheAspectRatioCentred) {
  const FitCase& c = GetParam();
  const PictureRect r = FitPictureRect(c.windowWidth, c.windowHeight, c.videoWidth, c.videoHeight);
  EXPECT_EQ(r.left, c.picture.left);
  EXPECT_EQ(r.top, c.picture.top);
  EXPECT_EQ(r.width, c.picture.width);
  EXPECT_EQ(r.height, c.picture.height);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, FitPicture,
    testing::Values(FitCase{"NaturalFillsTheBox", 320 + kFrame, 240 + kFrame, 320, 240, {0, 0, 320, 240}},
                    // A 4:3 video on a 16:9 screen: full height, centred across.
                    FitCase{"WideScreenPillarbox", 1280, 720, 320, 240, {161, 0, 949, 712}},
                    // A 16:9 video on a 4:3 screen: full width, centred down.
                    FitCase{"TallScreenLetterbox", 1024, 768, 640, 360, {0, 94, 1016, 571}},
                    FitCase{"NoPictureSizeFillsTheBox", 200, 100, 0, 0, {0, 0, 200 - kFrame, 100 - kFrame}}),
    [](const testing::TestParamInfo<FitCase>& info) { return std::string(info.param.name); });

TEST(VideoWindowMoves, CentreOnTheScreenAndKeepTheCentreOfAReusedWindow) {
  const WindowPoint centred = CenteredOnScreen({10, 20, 10 + 328, 20 + 248}, kScreenWidth, kScreenHeight);
  EXPECT_EQ(centred.x, (kScreenWidth - 328) / 2);
  EXPECT_EQ(centred.y, (kScreenHeight - 248) / 2);
  // Full screen: centring moves the window to the corner.
  const WindowPoint corner = CenteredOnScreen({37, 12, 37 + kScreenWidth, 12 + kScreenHeight}, kScreenWidth, kScreenHeight);
  EXPECT_EQ(corner.x, 0);
  EXPECT_EQ(corner.y, 0);
  // 320 x 240 shown at (100, 100), then a 640 x 360 video: the centre stays at (100 + 164, 100 + 124).
  const WindowPoint kept = KeepCentre({100, 100, 100 + 648, 100 + 368}, 320, 240, 640, 360);
  EXPECT_EQ(kept.x, 100 - 160);
  EXPECT_EQ(kept.y, 100 - 60);
}

}  // namespace
}  // namespace qorve
