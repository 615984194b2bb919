#include "platform/system/folders.h"

#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace qorve {
namespace {

class FoldersTest : public test::TempHome {};

TEST_F(FoldersTest, SettingsFolderComesFromQorveHomeElseXdgConfig) {
  EXPECT_EQ(SettingsFolder(), settingsFolder());
  unsetenv("QORVE_HOME");
  EXPECT_EQ(SettingsFolder(), root() / "home" / ".config" / "qorve");
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(SettingsFolder(), root() / "home" / ".config" / "qorve");
  setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
  EXPECT_EQ(SettingsFolder(), root() / "home" / ".config" / "qorve");
}

TEST_F(FoldersTest, DesktopFollowsUserDirsElseHomeDesktop) {
  std::string path;
  ASSERT_EQ(SpecialFolderPath(nullptr, kFolderDesktop, path), 1);
  EXPECT_EQ(path, (root() / "home" / "Desktop").string());

  test::WriteFile(root() / "home" / ".config" / "user-dirs.dirs",
                  "# written by xdg-user-dirs-update\nXDG_DOWNLOAD_DIR=\"$HOME/Downloads\"\n"
                  "XDG_DESKTOP_DIR=\"$HOME/デスクトップ\"\n");
  ASSERT_EQ(SpecialFolderPath(nullptr, kFolderDesktop, path), 1);
  EXPECT_EQ(path, (root() / "home" / "デスクトップ").string());

  test::WriteFile(root() / "home" / ".config" / "user-dirs.dirs", "XDG_DESKTOP_DIR=\"/srv/desk\"\n");
  ASSERT_EQ(SpecialFolderPath(nullptr, kFolderDesktop, path), 1);
  EXPECT_EQ(path, "/srv/desk");
}

TEST_F(FoldersTest, SendToIsThunarsFolderAndUnknownIdsFail) {
  std::string path = "unchanged";
  ASSERT_EQ(SpecialFolderPath(nullptr, kFolderSendTo, path), 1);
  EXPECT_EQ(path, (root() / "home" / ".local" / "share" / "Thunar" / "sendto").string());
  path = "unchanged";
  EXPECT_EQ(SpecialFolderPath(nullptr, 0x0005, path), 0);
  EXPECT_EQ(path, "unchanged");
}

TEST_F(FoldersTest, ProgramFolderIsTheExecutablesFolderUnlessOverridden) {
  EXPECT_TRUE(std::filesystem::exists(ProgramFolder() / "platform_test"));
  SetProgramFolderForTesting(root());
  EXPECT_EQ(ProgramFolder(), root());
  SetProgramFolderForTesting({});
  EXPECT_TRUE(std::filesystem::exists(ProgramFolder() / "platform_test"));
}

TEST_F(FoldersTest, TempFolderAndLoginName) {
  setenv("TMPDIR", "/var/tmp", 1);
  EXPECT_EQ(TempFolder(), "/var/tmp");
  unsetenv("TMPDIR");
  EXPECT_EQ(TempFolder(), "/tmp");
  EXPECT_FALSE(LoginName().empty());
}

}  // namespace
}  // namespace qorve
