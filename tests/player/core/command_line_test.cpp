#include "player/core/command_line.h"

#include "common/settings.h"

#include <gtest/gtest.h>

namespace qorve {
namespace {

TEST(CommandLineSwitchesTest, ActInArgumentOrderAndTheLastWins) {
  Settings settings{};
  ApplySwitches({"qorve", "song.mp3", "-r", "-B"}, settings);
  EXPECT_EQ(settings.soundsetLoop, 1);  // -B sets loop after -r set random
  EXPECT_EQ(settings.winsetTask, 1);

  settings = Settings{};
  ApplySwitches({"qorve", "song.mp3", "-B", "-r"}, settings);
  EXPECT_EQ(settings.soundsetLoop, 3);
  EXPECT_EQ(settings.winsetTask, 1);
}

TEST(CommandLineSwitchesTest, OnlyTheSecondCharacterCountsInEitherCase) {
  Settings settings{};
  ApplySwitches({"qorve", "movie.avi", "-full", "-c"}, settings);
  EXPECT_EQ(settings.videosetFull, 1);
  EXPECT_EQ(settings.soundsetLoop, 2);
  ApplySwitches({"qorve", "movie.avi", "-Loop"}, settings);
  EXPECT_EQ(settings.soundsetLoop, 1);
}

TEST(CommandLineSwitchesTest, OtherArgumentsChangeNothing) {
  Settings settings{};
  settings.soundsetLoop = 2;
  ApplySwitches({"qorve", "-", "-x", "--", "B", "file-R.ogg", ""}, settings);
  EXPECT_EQ(settings.soundsetLoop, 2);
  EXPECT_EQ(settings.winsetTask, 0);
  EXPECT_EQ(settings.videosetFull, 0);
}

TEST(CommandLineSwitchesTest, ASwitchAsFirstArgumentStillActs) {
  Settings settings{};
  ApplySwitches({"qorve", "-L"}, settings);
  EXPECT_EQ(settings.soundsetLoop, 1);
}

}  // namespace
}  // namespace qorve
