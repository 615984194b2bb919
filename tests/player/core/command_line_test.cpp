#include "player/core/command_line.h"

#include "common/keyset_commands.h"
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

struct CommandCallCase {
  const char* name;
  std::vector<std::string> arguments;
  bool call;
  std::string commandName;
  bool strayArguments;
  const char* known;  // the KEYSET command the name stands for, null when none
};

class CommandCallTest : public ::testing::TestWithParam<CommandCallCase> {};

TEST_P(CommandCallTest, TheSwitchTakesOneNameInAnyCase) {
  const CommandCallCase& c = GetParam();
  const std::optional<CommandCall> call = FindCommandCall(c.arguments);
  ASSERT_EQ(call.has_value(), c.call);
  if (!call) return;
  EXPECT_EQ(call->name, c.commandName);
  EXPECT_EQ(call->strayArguments, c.strayArguments);
  const KeysetCommand* command = FindKeysetCommand(call->name);
  EXPECT_STREQ(command ? command->name : nullptr, c.known);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, CommandCallTest,
    ::testing::Values(
        CommandCallCase{"Separate", {"qorve", "--command", "NEXT"}, true, "NEXT", false, "NEXT"},
        CommandCallCase{"Joined", {"qorve", "--command=volumeDown"}, true, "volumeDown", false, "VOLUMEDOWN"},
        CommandCallCase{"JoinedEmpty", {"qorve", "--command="}, true, "", false, nullptr},
        CommandCallCase{"Missing", {"qorve", "--command"}, true, "", false, nullptr},
        CommandCallCase{"Unknown", {"qorve", "--command", "bogus"}, true, "bogus", false, nullptr},
        CommandCallCase{"APrefixIsNoName", {"qorve", "--command", "VOLUME"}, true, "VOLUME", false, nullptr},
        CommandCallCase{"AfterAFile", {"qorve", "song.ogg", "--command", "pause"}, true, "pause", true, "PAUSE"},
        CommandCallCase{"MoreAfterTheName", {"qorve", "--command", "Close", "-L"}, true, "Close", true, "CLOSE"},
        CommandCallCase{"OnlyTheProgramName", {"qorve"}, false, "", false, nullptr},
        CommandCallCase{"FilesAndSwitches", {"qorve", "song.ogg", "-C", "--commandos.ogg"}, false, "", false, nullptr},
        CommandCallCase{"TheProgramNameIsNoSwitch", {"--command", "x.ogg"}, false, "", false, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qorve
