#include "player/visual/display_layout.h"

#include "common/log.h"
#include "player/core/display_port.h"
#include "player/core/media_file.h"
#include "support/settings_home.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <ostream>
#include <vector>

namespace qorve {
namespace {

class DisplayLayoutTest : public test::SettingsHome {
 protected:
  void SetUp() override {
    SettingsHome::SetUp();
    settings = ProgramSettings();
    input.screenWidth = 1920;
    input.screenHeight = 1080;
    input.workArea = Rect{0, 0, 1920, 1040};
    input.lineHeight = 16;
    input.scrollBarWidth = 15;
    input.currentWindow = Rect{300, 200, 500, 90};
  }
  void TearDown() override {
    SettingsHome::TearDown();
  }


  void AllButtons(int value) {
    for (const ButtonSlotInfo& info : ButtonTable()) {
      if (info.key) settings.*info.key = value;
    }
  }

  // Visible slots from the right edge leftwards.
  static std::vector<int> RightToLeft(const ButtonPlaces& buttons) {
    std::vector<int> slots;
    for (int slot = 0; slot < kButtonSlotCount; ++slot) {
      if (buttons[slot].visible) slots.push_back(slot);
    }
    std::sort(slots.begin(), slots.end(), [&](int a, int b) { return buttons[a].x > buttons[b].x; });
    return slots;
  }

  Settings settings;
  LayoutInput input;
};

TEST_F(DisplayLayoutTest, SoundWithEveryButtonKeyOffShowsNoButton) {
  AllButtons(0);
  input.kind = kKindSound;
  const LayoutResult result = ComputeLayout(input, settings);
  EXPECT_TRUE(RightToLeft(result.buttons).empty());
  EXPECT_EQ(result.buttonCounter, 1);
}

struct ButtonRowCase {
  int kind;
  std::vector<int> rightToLeft;
};

class ButtonRowTest : public DisplayLayoutTest, public ::testing::WithParamInterface<ButtonRowCase> {};

TEST_P(ButtonRowTest, EveryButtonKeyOnFillsTheRowInTableOrder) {
  AllButtons(1);
  input.kind = GetParam().kind;
  input.pictureWidth = 400;
  input.pictureHeight = 300;
  const LayoutResult result = ComputeLayout(input, settings);
  EXPECT_EQ(RightToLeft(result.buttons), GetParam().rightToLeft);
  // Neighbours are 32 pixels apart; the first sits one edge and two pixels in.
  const std::vector<int> slots = RightToLeft(result.buttons);
  const int width = input.kind == kKindImage ? 400 : input.workArea.right() - 24;
  for (std::size_t n = 0; n < slots.size(); ++n) {
    EXPECT_EQ(result.buttons[slots[n]].x, width - 32 * static_cast<int>(n + 1) - 1 - 2);
    EXPECT_EQ(result.buttons[slots[n]].y, 1);
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds, ButtonRowTest,
                         ::testing::Values(
                             // EXIT, PAUSE, ONCE, LOOP, LIST, RAND, NEXT, BACK, HIDE
                             ButtonRowCase{kKindSound, {0, 1, 2, 3, 4, 5, 8, 9, 11}},
                             // video: FULL left of HIDE
                             ButtonRowCase{kKindVideo, {0, 1, 2, 3, 4, 5, 8, 9, 11, 6}},
                             // image: EXIT, PAUSE, ZOOM, NEXT, BACK, SHOW
                             ButtonRowCase{kKindImage, {0, 1, 7, 8, 9, 10}},
                             ButtonRowCase{kKindDocument, {}}, ButtonRowCase{kKindUnplayable, {}},
                             ButtonRowCase{kKindArchive, {}}));

TEST_F(DisplayLayoutTest, ImageButtonsFormALeftAlignedRowInTheBottomStripWithExitAtTheRightEnd) {
  input.kind = kKindImage;
  input.pictureWidth = 400;
  input.pictureHeight = 300;
  LayoutResult result = ComputeLayout(input, settings);
  ASSERT_TRUE(result.buttonsInBottomStrip);
  ASSERT_TRUE(result.moveWindow);
  PlaceButtonsInBottomStrip(result.buttons, result.buttonCounter, result.window.width, result.window.height);
  const std::vector<int> order = RightToLeft(result.buttons);
  ASSERT_EQ(order.size(), 6u);
  EXPECT_EQ(order.front(), 0);  // EXIT at the right end
  EXPECT_EQ(order.back(), 10);  // SHOW at the left end
  EXPECT_EQ(result.buttons[10].x, 2);
  EXPECT_EQ(result.buttons[0].x, 2 + 5 * 32);
  for (int slot : order) EXPECT_EQ(result.buttons[slot].y, result.window.height - 31);
  EXPECT_EQ(result.trackbar, TrackbarAction::Destroy);
}

struct ZoomCase {
  const char* name;
  int pictureWidth, pictureHeight;
  int show;
  double zoom;
};

class ImageZoomTest : public DisplayLayoutTest, public ::testing::WithParamInterface<ZoomCase> {};

TEST_P(ImageZoomTest, ZoomFollowsScaleMatchShowAndShowScale) {
  settings.imagesetScaleMatch = 1;
  settings.imagesetShow = GetParam().show;
  settings.imagesetShowScale = 300;
  EXPECT_DOUBLE_EQ(ImageZoom(GetParam().pictureWidth, GetParam().pictureHeight, 1920, 1080, input.workArea, settings),
                   GetParam().zoom);
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, ImageZoomTest,
    ::testing::Values(
        // Available: 1912 x 1000 outside the slideshow, 1920 x 1080 in it.
        ZoomCase{"LargerBothWaysTakesTheHeightRatio", 4000, 2000, 0, 1000.0 / 2000},
        ZoomCase{"WiderOnlyTakesTheWidthRatio", 3824, 500, 0, 0.5},
        ZoomCase{"SmallIsNeverEnlargedOutsideTheSlideshow", 100, 50, 0, 1.0},
        ZoomCase{"SlideshowEnlargesToTheScreenHeight", 400, 540, 1, 2.0},
        ZoomCase{"SlideshowEnlargementStopsAtShowScale", 200, 100, 1, 3.0},
        ZoomCase{"PictureWithoutSizeStaysAsItIs", 0, 0, 1, 1.0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DisplayLayoutTest, TinyPictureGetsTheMinimumWindow) {
  input.kind = kKindImage;
  input.pictureWidth = 50;
  input.pictureHeight = 3;
  const LayoutResult result = ComputeLayout(input, settings);
  EXPECT_EQ(result.window.width, 170);
  EXPECT_EQ(result.window.height, 37);
  EXPECT_EQ(result.window.x, 12);
  EXPECT_EQ(result.window.y, 1040 - (3 + 32) - 5);
}

TEST_F(DisplayLayoutTest, ImageWithoutButtonsLosesTheButtonStrip) {
  AllButtons(0);
  input.kind = kKindImage;
  input.pictureWidth = 400;
  input.pictureHeight = 300;
  const LayoutResult result = ComputeLayout(input, settings);
  EXPECT_EQ(result.window, (Rect{12, 1040 - 332 - 5 + 32, 400, 300}));
}

TEST_F(DisplayLayoutTest, SlideshowCoversTheScreen) {
  settings.imagesetShow = 1;
  input.kind = kKindImage;
  input.pictureWidth = 400;
  input.pictureHeight = 300;
  input.previousKind = kKindImage;
  const LayoutResult result = ComputeLayout(input, settings);
  EXPECT_EQ(result.window, (Rect{0, 0, 1920, 1080}));
  EXPECT_EQ(result.scrollMaximum, 0);
}

TEST_F(DisplayLayoutTest, TallImageAfterAnImageGetsAScrollBar) {
  settings.imagesetScaleMatch = 0;
  input.kind = kKindImage;
  input.previousKind = kKindImage;
  input.pictureWidth = 600;
  input.pictureHeight = 3000;
  input.currentWindow = Rect{12, 100, 400, 300};
  const LayoutResult result = ComputeLayout(input, settings);
  EXPECT_EQ(result.scrollMaximum, 3000);
  EXPECT_EQ(result.scrollPage, 1080 - 32);
  // Kept left and bottom edges; the scroll bar widens the window.
  EXPECT_EQ(result.window, (Rect{12, 400 - 1048, 615, 1048}));
}

TEST_F(DisplayLayoutTest, SoundInModeZeroSpansTheWorkAreaWithTheSeekBarBelow) {
  input.kind = kKindSound;
  const LayoutResult result = ComputeLayout(input, settings);
  const int textHeight = 3 * 16 + 13;
  EXPECT_EQ(result.window, (Rect{12, 1040 - textHeight - 5 - 28, 1920 - 24, textHeight + 28}));
  EXPECT_EQ(result.trackbar, TrackbarAction::Place);
  EXPECT_EQ(result.trackbarWidth, 1896);
  EXPECT_EQ(result.trackbarY, textHeight);
  EXPECT_EQ(result.alpha, 191);  // 25 percent transparency
}

TEST_F(DisplayLayoutTest, ModeOneUsesTheSavedRectangle) {
  settings.winsetMode = 1;
  settings.winsetScroll = 0;
  settings.winsetX = 40;
  settings.winsetY = 50;
  settings.winsetWidth = 600;
  settings.winsetHeight = 70;
  input.kind = kKindSound;
  EXPECT_EQ(ComputeLayout(input, settings).window, (Rect{40, 50, 600, 70}));
}

TEST_F(DisplayLayoutTest, ModeTwoLaysOutLikeModeZero) {
  input.kind = kKindUnplayable;
  const Rect modeZero = ComputeLayout(input, settings).window;
  settings.winsetMode = 2;
  EXPECT_EQ(ComputeLayout(input, settings).window, modeZero);
}

TEST_F(DisplayLayoutTest, UndefinedModeKeepsTheWindowWhereItIs) {
  settings.winsetMode = 7;
  settings.winsetScroll = 0;
  input.kind = kKindSound;
  EXPECT_EQ(ComputeLayout(input, settings).window, input.currentWindow);
}

TEST_F(DisplayLayoutTest, SecondSoundKeepsTheUsersPositionAndSize) {
  input.kind = kKindSound;
  input.previousKind = kKindSound;
  const LayoutResult result = ComputeLayout(input, settings);
  EXPECT_FALSE(result.moveWindow);
  EXPECT_EQ(result.trackbar, TrackbarAction::Place);
  EXPECT_EQ(result.trackbarWidth, 500);
  EXPECT_EQ(result.trackbarY, 90 - 28);
  // The exit button sits at the right edge of the window as the user left it.
  EXPECT_EQ(result.buttons[0].x, 500 - 32 - 1 - 2);
}

TEST_F(DisplayLayoutTest, FullScreenVideoLeavesEverythingButHidesTheButtons) {
  settings.videosetFull = 1;
  input.kind = kKindVideo;
  const LayoutResult result = ComputeLayout(input, settings);
  EXPECT_FALSE(result.applies);
  EXPECT_TRUE(RightToLeft(result.buttons).empty());
}

TEST_F(DisplayLayoutTest, DocumentIsCentredAt640By480) {
  input.kind = kKindDocument;
  EXPECT_EQ(ComputeLayout(input, settings).window, (Rect{640, 300, 640, 480}));
}

TEST_F(DisplayLayoutTest, ErrorTextAfterSoundDropsTheSeekBar) {
  input.kind = kKindUnplayable;
  input.previousKind = kKindSound;
  const LayoutResult result = ComputeLayout(input, settings);
  EXPECT_EQ(result.trackbar, TrackbarAction::Destroy);
  EXPECT_EQ(result.alpha, -1);
}

// WINSET X, Y, WIDTH and HEIGHT come from a text file that anyone may edit.
// However large, the window stays a rectangle of sane numbers: no sum wraps
// round, so nothing lands on the other side of the screen or shrinks below
// its seek bar.
struct ExtremeRectCase {
  const char* name;
  int x, y, width, height;
};

void PrintTo(const ExtremeRectCase& c, std::ostream* out) { *out << c.name; }

class ModeOneExtremeTest : public DisplayLayoutTest, public ::testing::WithParamInterface<ExtremeRectCase> {};

TEST_P(ModeOneExtremeTest, WindowStaysASaneRectangle) {
  const ExtremeRectCase& c = GetParam();
  settings.winsetMode = 1;
  settings.winsetScroll = 1;
  settings.winsetX = c.x;
  settings.winsetY = c.y;
  settings.winsetWidth = c.width;
  settings.winsetHeight = c.height;
  AllButtons(1);
  input.kind = kKindSound;
  for (const int previousKind : {0, static_cast<int>(kKindSound)}) {
    input.previousKind = previousKind;
    const LayoutResult result = ComputeLayout(input, settings);
    const Rect& window = result.window;
    if (previousKind == 0) {
      EXPECT_GE(window.width, 0);
      EXPECT_GE(window.height, kTrackbarHeight);
      EXPECT_EQ(window.x < 0, c.x < 0);
      EXPECT_EQ(window.y < 0, c.y < 0);
      EXPECT_EQ(int64_t{window.x} + window.width, int64_t{window.right()});  // no wrap-round
      EXPECT_EQ(int64_t{window.y} + window.height, int64_t{window.bottom()});
      EXPECT_EQ(result.trackbarY, window.height - kTrackbarHeight);
    }
    const int width = previousKind == 0 ? window.width : input.currentWindow.width;
    for (const ButtonPlace& place : result.buttons) {
      if (!place.visible) continue;
      EXPECT_LE(place.x, width);
      EXPECT_GT(place.x, -32 * kButtonSlotCount);
    }
  }
}

constexpr int kMin = std::numeric_limits<int>::min();
constexpr int kMax = std::numeric_limits<int>::max();

INSTANTIATE_TEST_SUITE_P(Limits, ModeOneExtremeTest,
                         ::testing::Values(ExtremeRectCase{"AllLowest", kMin, kMin, kMin, kMin},
                                           ExtremeRectCase{"AllHighest", kMax, kMax, kMax, kMax},
                                           ExtremeRectCase{"LowCornerHugeSize", kMin, kMin, kMax, kMax},
                                           ExtremeRectCase{"HighCornerNegativeSize", kMax, kMax, kMin, kMin},
                                           ExtremeRectCase{"OrdinaryCornerHugeSize", 40, 50, kMax, kMax}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DisplayLayoutTest, ShowScaleAtTheIntegerLimitsKeepsThePictureWindowOnTheScreen) {
  settings.imagesetScaleMatch = 1;
  input.kind = kKindImage;
  input.pictureWidth = 400;
  input.pictureHeight = 300;
  for (const int showScale : {kMin, -100, 0, kMax}) {
    settings.imagesetShowScale = showScale;
    const LayoutResult result = ComputeLayout(input, settings);
    EXPECT_GT(result.zoom, 0.0) << showScale;
    EXPECT_GE(result.window.y, 0) << showScale;
    EXPECT_LE(result.window.bottom(), input.workArea.bottom()) << showScale;
  }
}

TEST(AlphaTest, TransparencyPercentBecomesOpacity) {
  EXPECT_EQ(AlphaForTransparency(25), 191);
  EXPECT_EQ(AlphaForTransparency(100), 0);
  EXPECT_EQ(AlphaForTransparency(150), 0);
  EXPECT_EQ(AlphaForTransparency(-20), 255);
  EXPECT_EQ(AlphaForTransparency(std::numeric_limits<int>::min()), 255);
  EXPECT_EQ(AlphaForTransparency(std::numeric_limits<int>::max()), 0);
}

TEST(TrackbarScaleTest, UnitsPerSecondFitTheControlAndSurviveOddLengths) {
  EXPECT_EQ(TrackbarScale(100.0), 327);
  EXPECT_EQ(TrackbarScale(0.0), 0);
  EXPECT_EQ(TrackbarScale(-5.0), 0);
  EXPECT_EQ(TrackbarScale(1e-9), 1000000);
  EXPECT_EQ(TrackbarScale(std::numeric_limits<double>::quiet_NaN()), 0);
}

struct HitCase {
  int x, y;
  bool trackbar;
  int expected;
};

class HitTestAtTest : public ::testing::TestWithParam<HitCase> {};

TEST_P(HitTestAtTest, EdgesAreOutside) {
  const Rect window{100, 100, 300, 100};  // right 400, bottom 200
  ButtonPlaces buttons{};
  buttons[0] = ButtonPlace{true, 265, 1};  // screen 365..397, 101..133
  buttons[13] = ButtonPlace{false, 10, 10};
  const HitCase& c = GetParam();
  EXPECT_EQ(HitTestAt(c.x, c.y, window, false, c.trackbar, buttons), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Points, HitTestAtTest,
                         ::testing::Values(HitCase{100, 150, false, kHitOutside}, HitCase{101, 150, false, kHitWindow},
                                           HitCase{400, 150, false, kHitOutside},
                                           HitCase{200, 100, false, kHitOutside},
                                           HitCase{200, 172, true, kHitWindow},
                                           HitCase{200, 173, true, kHitSeekBar},
                                           HitCase{366, 102, false, kHitButtonBase + 0},
                                           HitCase{365, 102, false, kHitWindow},
                                           HitCase{396, 133, false, kHitWindow},
                                           HitCase{112, 112, false, kHitWindow}));

TEST(HitTestVideoTest, PointerOnVideoWinsEvenOutsideTheWindow) {
  EXPECT_EQ(HitTestAt(5, 5, Rect{100, 100, 50, 50}, true, false, ButtonPlaces{}), kHitVideo);
}

struct TimeCase {
  int x, y;
  double expected;
};

class TimeAtPointTest : public ::testing::TestWithParam<TimeCase> {};

TEST_P(TimeAtPointTest, MapsTheTrackAndClamps) {
  const Rect window{100, 100, 216, 60};  // track 200 pixels from x 108; strip y 133..159
  EXPECT_DOUBLE_EQ(TimeAtPoint(GetParam().x, GetParam().y, window, 100.0), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Points, TimeAtPointTest,
                         ::testing::Values(TimeCase{208, 150, 50.0}, TimeCase{108, 150, 0.0},
                                           TimeCase{316, 150, 100.0},
                                           TimeCase{317, 150, -1.0}, TimeCase{208, 132, -1.0}, TimeCase{208, 133, 50.0},
                                           TimeCase{208, 160, -1.0}, TimeCase{158, 159, 25.0}));

TEST(TimeAtPointNarrowTest, WindowWithoutTrackHasNoTime) {
  EXPECT_EQ(TimeAtPoint(105, 150, Rect{100, 100, 16, 60}, 100.0), -1.0);
}

struct ColumnCase {
  int slot;
  IconState state;
  int column;
};

class IconColumnTest : public ::testing::TestWithParam<ColumnCase> {};

TEST_P(IconColumnTest, FaceFollowsTheState) {
  EXPECT_EQ(IconColumn(GetParam().slot, GetParam().state), GetParam().column);
}

INSTANTIATE_TEST_SUITE_P(
    Faces, IconColumnTest,
    ::testing::Values(ColumnCase{1, IconState{kKindSound, kPlaying, 0, 0, 0, 0}, 0},
                      ColumnCase{1, IconState{kKindSound, kPaused, 0, 0, 0, 0}, 1},
                      ColumnCase{1, IconState{kKindSound, kStopped, 0, 0, 0, 0}, 1},
                      // An image never reports playing: its face follows the slideshow.
                      ColumnCase{1, IconState{kKindImage, kStopped, 1, 0, 0, 1}, 0},
                      ColumnCase{1, IconState{kKindImage, kStopped, 0, 0, 0, 1}, 1},
                      ColumnCase{6, IconState{kKindVideo, kPlaying, 0, 1, 0, 0}, 1},
                      ColumnCase{6, IconState{kKindVideo, kPlaying, 0, 0, 0, 0}, 0},
                      ColumnCase{7, IconState{kKindImage, 0, 0, 0, 0, 0}, 1},
                      ColumnCase{7, IconState{kKindImage, 0, 0, 0, 1, 0}, 0},
                      ColumnCase{10, IconState{kKindImage, 0, 0, 0, 0, 1}, 1},
                      ColumnCase{0, IconState{kKindImage, 0, 1, 1, 0, 1}, 0}));

}  // namespace
}  // namespace qorve
