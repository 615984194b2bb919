#include "platform/system/launch.h"

#include "platform/system/folders.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace qorve {
namespace {

TEST(CommandLineTest, SplitsOnBlanksAndKeepsQuotedGroups) {
  using Words = std::vector<std::string>;
  EXPECT_EQ(SplitCommandLine("SET.EXE"), Words{"SET.EXE"});
  EXPECT_EQ(SplitCommandLine("  QORVE.EXE  \"/music/My Song.ogg\" -L"),
            (Words{"QORVE.EXE", "/music/My Song.ogg", "-L"}));
  EXPECT_EQ(SplitCommandLine("a \"\" b"), (Words{"a", "", "b"}));
  EXPECT_EQ(SplitCommandLine("\"say \"\"hi\"\"\""), Words{"say \"hi\""});
  EXPECT_TRUE(SplitCommandLine("   ").empty());
}

TEST(CommandLineTest, WindowsProgramNamesMapToOurExecutables) {
  EXPECT_EQ(ExecutableName("SET.EXE"), "qorve-set");
  EXPECT_EQ(ExecutableName("qorve.exe"), "qorve");
  EXPECT_EQ(ExecutableName("Pakgrab.EXE"), "pakgrab");
  EXPECT_EQ(ExecutableName("regsvr32.exe"), "regsvr32");
}

class LaunchTest : public test::TempHome {
 protected:
  void TearDown() override {
    SetProgramFolderForTesting({});
    TempHome::TearDown();
  }
};

TEST_F(LaunchTest, StartsTheSiblingWithItsArgumentsWithoutWaiting) {
  const auto program = root() / "qorve";
  const auto marker = root() / "marker";
  test::WriteFile(program, "#!/bin/sh\nprintf '%s|' \"$@\" > \"" + marker.string() + ".tmp\"\nmv \"" +
                               marker.string() + ".tmp\" \"" + marker.string() + "\"\n");
  std::filesystem::permissions(program, std::filesystem::perms::owner_all);
  SetProgramFolderForTesting(root());

  ASSERT_TRUE(LaunchProgram("QORVE.EXE \"/music/My Song.ogg\""));
  for (int i = 0; i < 500 && !std::filesystem::exists(marker); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(test::ReadFile(marker), "/music/My Song.ogg|");
}

TEST_F(LaunchTest, MissingProgramsFailAndNothingFromPathIsStarted) {
  SetProgramFolderForTesting(root());
  EXPECT_FALSE(LaunchProgram("SET.EXE"));
  EXPECT_FALSE(LaunchProgram("regsvr32.exe RealMediaSplitter.ax"));
  EXPECT_FALSE(LaunchProgram("sh.exe -c true"));  // sh exists on PATH, not in our folder
  EXPECT_FALSE(LaunchProgram(""));
}

}  // namespace
}  // namespace qorve
