// Associations on a private XDG desktop: the extension-to-type mapping, the
// player made default beside another program and given back, our own types.
#include "settings/desktop/file_association.h"

#include "settings/association_home.h"
#include "settings/desktop/key_file.h"
#include "settings/desktop/mime_database.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <iterator>

namespace qorve {
namespace {

using ::testing::Contains;

class FileAssociation : public test::AssociationHome {};

struct ExtensionType {
  const char* extension;
  const char* mimeType;  // one of the types it must map to
};

class ExtensionTypes : public FileAssociation, public ::testing::WithParamInterface<ExtensionType> {};

TEST_P(ExtensionTypes, MapToTheDesktopsTypeOrOurs) {
  EXPECT_THAT(MimeTypesOfExtension(GetParam().extension), Contains(GetParam().mimeType));
}

INSTANTIATE_TEST_SUITE_P(Extensions, ExtensionTypes,
                         ::testing::Values(ExtensionType{"WAV", "audio/x-wav"}, ExtensionType{"ogg", "audio/ogg"},
                                           ExtensionType{"ogg", "audio/x-vorbis+ogg"},
                                           ExtensionType{"MPEG", "video/mpeg"},
                                           // The database's certificate meaning is not the player's.
                                           ExtensionType{"spc", "audio/x-spc"}, ExtensionType{"MIO", "audio/x-mio"},
                                           ExtensionType{"vqf", "audio/x-twinvq"},
                                           ExtensionType{"JFIF", "image/jpeg"},
                                           ExtensionType{"lst", "audio/x-qorve-playlist"}));

TEST_F(FileAssociation, UnknownAndMalformedExtensionsHaveNoType) {
  EXPECT_TRUE(MimeTypesOfExtension("qqzz").empty());
  EXPECT_TRUE(MimeTypesOfExtension("").empty());
  EXPECT_TRUE(MimeTypesOfExtension("*").empty());
  EXPECT_FALSE(RegisterType("qqzz"));
  EXPECT_FALSE(QueryAssociation("qqzz"));
}

TEST_F(FileAssociation, MissingPlayerIsNeverRegistered) {
  std::filesystem::remove(PlayerPath());
  EXPECT_FALSE(RegisterType("WAV"));
  EXPECT_FALSE(std::filesystem::exists(configHome() / "mimeapps.list"));
  EXPECT_FALSE(std::filesystem::exists(dataHome() / "applications" / kPlayerDesktopId));
}

TEST_F(FileAssociation, RegisterBesideAnotherProgramThenUnregisterGivesTheTypeBack) {
  InstallOtherPlayer("audio/x-wav");
  const std::string other = test::ReadFile(dataHome() / "applications" / "other.desktop");
  ASSERT_EQ(QueryAssociation("WAV"), "/opt/other/play");

  ASSERT_TRUE(RegisterType("WAV"));
  EXPECT_EQ(QueryAssociation(".wav"), PlayerPath().string());
  const KeyFile list = KeyFile::Read(configHome() / "mimeapps.list");
  EXPECT_EQ(list.Find("Default Applications", "audio/x-wav"), "qorve-open.desktop;other.desktop;");
  EXPECT_EQ(list.Find("Added Associations", "audio/x-wav"), "qorve-open.desktop;");
  const KeyFile entry = KeyFile::Read(dataHome() / "applications" / kPlayerDesktopId);
  EXPECT_EQ(entry.Find("Desktop Entry", "MimeType"), "audio/x-wav;");
  EXPECT_EQ(ProgramOfExecLine(entry.Find("Desktop Entry", "Exec").value_or("")), PlayerPath().string());
  if (const std::string xdg = XdgMimeDefault("audio/x-wav"); !xdg.empty()) {
    EXPECT_EQ(xdg, kPlayerDesktopId);
  }

  ASSERT_TRUE(UnregisterType("wav"));
  EXPECT_EQ(QueryAssociation("WAV"), "/opt/other/play");
  EXPECT_EQ(KeyFile::Read(configHome() / "mimeapps.list").Find("Default Applications", "audio/x-wav"),
            "other.desktop;");
  EXPECT_EQ(KeyFile::Read(configHome() / "mimeapps.list").Find("Added Associations", "audio/x-wav"), std::nullopt);
  EXPECT_EQ(test::ReadFile(dataHome() / "applications" / "other.desktop"), other);
  EXPECT_EQ(KeyFile::Read(dataHome() / "applications" / kPlayerDesktopId).Find("Desktop Entry", "MimeType"),
            std::nullopt);
  if (const std::string xdg = XdgMimeDefault("audio/x-wav"); !xdg.empty()) {
    EXPECT_EQ(xdg, "other.desktop");
  }
}

TEST_F(FileAssociation, UnregisterLeavesNoStaleDefault) {
  ASSERT_TRUE(RegisterType("OGG"));
  for (const std::string& type : MimeTypesOfExtension("ogg")) EXPECT_EQ(DefaultApplication(type), kPlayerDesktopId);
  ASSERT_TRUE(UnregisterType("OGG"));
  EXPECT_EQ(QueryAssociation("OGG"), std::nullopt);
  EXPECT_EQ(DefaultApplication("audio/x-vorbis+ogg"), std::nullopt);
}

TEST_F(FileAssociation, OwnTypesAreInstalledIntoTheUsersDatabaseWhileRegistered) {
  ASSERT_TRUE(RegisterType("MIO"));
  ASSERT_TRUE(RegisterType("SPC"));
  const std::string globs = test::ReadFile(dataHome() / "mime" / "globs2");
  EXPECT_NE(globs.find("audio/x-mio:*.mio"), std::string::npos);
  EXPECT_NE(globs.find("60:audio/x-spc:*.spc"), std::string::npos);
  EXPECT_EQ(QueryAssociation("mio"), PlayerPath().string());
  ASSERT_TRUE(UnregisterType("MIO"));
  EXPECT_EQ(test::ReadFile(dataHome() / "mime" / "globs2").find("*.mio"), std::string::npos);
  ASSERT_TRUE(UnregisterType("SPC"));
  EXPECT_FALSE(std::filesystem::exists(dataHome() / "mime" / "packages" / "qorve.xml"));
}

TEST_F(FileAssociation, RegisteringLeavesTheInstalledEntryToTheMenus) {
  InstallPackagedEntry(PlayerPath(), "audio/ogg;");
  ASSERT_TRUE(RegisterType("WAV"));
  // Nothing in the user's folder takes the installed entry's id.
  EXPECT_FALSE(std::filesystem::exists(dataHome() / "applications" / kInstalledDesktopId));
  EXPECT_EQ(KeyFile::Read(dataHome() / "applications" / kPlayerDesktopId).Find("Desktop Entry", "NoDisplay"), "true");
  EXPECT_TRUE(AssociatedWithPlayer("WAV"));
  ASSERT_TRUE(UnregisterType("WAV"));
  EXPECT_FALSE(std::filesystem::exists(dataHome() / "applications" / kInstalledDesktopId));
  EXPECT_TRUE(std::filesystem::exists(root() / "share" / "applications" / kInstalledDesktopId));
}

TEST_F(FileAssociation, OldHiddenEntryMovesToItsOwnIdAndTheInstalledOneShowsAgain) {
  InstallPackagedEntry(PlayerPath(), "audio/ogg;");
  WriteOldHiddenEntry("audio/x-wav");
  test::WriteFile(dataHome() / "applications" / "other.desktop",
            "[Desktop Entry]\nType=Application\nName=Other\nExec=/opt/other/play %U\nMimeType=audio/x-wav;\n");
  // A default the user gave the installed entry ("Open with").
  KeyFile given = KeyFile::Read(configHome() / "mimeapps.list");
  given.Set("Default Applications", "audio/ogg", "qorve.desktop;");
  ASSERT_TRUE(given.Write(configHome() / "mimeapps.list"));
  ASSERT_TRUE(RegisterType("MP3"));
  EXPECT_FALSE(std::filesystem::exists(dataHome() / "applications" / kInstalledDesktopId));
  const KeyFile list = KeyFile::Read(configHome() / "mimeapps.list");
  EXPECT_EQ(list.Find("Default Applications", "audio/x-wav"), "qorve-open.desktop;other.desktop;");
  EXPECT_EQ(list.Find("Added Associations", "audio/x-wav"), "qorve-open.desktop;");
  EXPECT_EQ(list.Find("Default Applications", "audio/ogg"), "qorve.desktop;");
  const std::vector<std::string> types =
      SplitList(KeyFile::Read(dataHome() / "applications" / kPlayerDesktopId).Find("Desktop Entry", "MimeType").value_or(""));
  EXPECT_THAT(types, Contains("audio/x-wav"));
  EXPECT_THAT(types, Contains("audio/mpeg"));
  EXPECT_TRUE(AssociatedWithPlayer("WAV"));
  EXPECT_TRUE(AssociatedWithPlayer("MP3"));
  if (const std::string xdg = XdgMimeDefault("audio/x-wav"); !xdg.empty()) {
    EXPECT_EQ(xdg, kPlayerDesktopId);
  }
}

TEST_F(FileAssociation, QorveEntryTheUserMadeIsLeftAlone) {
  // Shown in menus: the user's own copy of the entry, not one we hid.
  const std::string own = "[Desktop Entry]\nType=Application\nName=My QORVE\nExec=" + PlayerPath().string() +
                          " --my-flag %f\nMimeType=audio/x-wav;\n";
  test::WriteFile(dataHome() / "applications" / kInstalledDesktopId, own);
  test::WriteFile(configHome() / "mimeapps.list", "[Default Applications]\naudio/x-wav=qorve.desktop;\n");
  ASSERT_TRUE(MigrateAssociations());
  ASSERT_TRUE(RegisterType("MP3"));
  EXPECT_EQ(test::ReadFile(dataHome() / "applications" / kInstalledDesktopId), own);
  EXPECT_EQ(KeyFile::Read(configHome() / "mimeapps.list").Find("Default Applications", "audio/x-wav"),
            "qorve.desktop;");
}

TEST_F(FileAssociation, PlayerIsKnownByTheFileNotByItsPath) {
  // The installed entry starts the player through a link, as /usr/bin/qorve does.
  std::filesystem::create_directories(root() / "usr-bin");
  std::filesystem::create_symlink(PlayerPath(), root() / "usr-bin" / "qorve");
  InstallPackagedEntry(root() / "usr-bin" / "qorve", "audio/x-wav;");
  test::WriteFile(configHome() / "mimeapps.list", "[Default Applications]\naudio/x-wav=qorve.desktop;\n");
  EXPECT_EQ(QueryAssociation("WAV"), (root() / "usr-bin" / "qorve").string());
  EXPECT_TRUE(AssociatedWithPlayer("WAV"));
  EXPECT_TRUE(IsPlayerProgram(root() / "bin" / ".." / "bin" / "qorve"));
  // A copy with the same name is another program.
  std::filesystem::create_directories(root() / "copy");
  std::filesystem::copy_file(PlayerPath(), root() / "copy" / "qorve");
  EXPECT_FALSE(IsPlayerProgram(root() / "copy" / "qorve"));
  EXPECT_FALSE(IsPlayerProgram(root() / "missing" / "qorve"));

  // Unchecking takes the installed entry's default away too.
  ASSERT_TRUE(UnregisterType("WAV"));
  EXPECT_EQ(KeyFile::Read(configHome() / "mimeapps.list").Find("Default Applications", "audio/x-wav"), std::nullopt);
}

// A mimeapps.list that is there but cannot be read: replacing it would lose
// every association the user has.
class UnreadableList : public FileAssociation, public ::testing::WithParamInterface<const char*> {
 protected:
  void SetUp() override {
    FileAssociation::SetUp();
    std::filesystem::create_directories(configHome());
    const std::string kind = GetParam();
    if (kind == "LinkToItself") {
      std::filesystem::create_symlink("mimeapps.list", list());
    } else if (kind == "Folder") {
      std::filesystem::create_directories(list() / "inside");
    } else {
      test::WriteFile(list(), "[Default Applications]\ntext/plain=vim.desktop;\n");
      std::filesystem::permissions(list(), std::filesystem::perms::none);
    }
  }
  std::filesystem::path list() const { return configHome() / "mimeapps.list"; }
};

TEST_P(UnreadableList, StopsRegisteringAndUnregisteringWithTheReasonAndChangesNothing) {
  if (std::string(GetParam()) == "NoReadPermission" && geteuid() == 0) {
    GTEST_SKIP() << "the superuser reads any file";
  }
  const auto status = std::filesystem::symlink_status(list());
  for (const bool registering : {true, false}) {
    std::string error;
    EXPECT_FALSE(registering ? RegisterType("WAV", &error) : UnregisterType("WAV", &error));
    EXPECT_NE(error.find("mimeapps.list: "), std::string::npos) << error;
  }
  EXPECT_EQ(std::filesystem::symlink_status(list()).type(), status.type());
  EXPECT_FALSE(std::filesystem::exists(dataHome() / "applications" / kPlayerDesktopId));
  int entries = 0;
  for (const auto& entry : std::filesystem::directory_iterator(configHome())) entries += entry.path() != list();
  EXPECT_EQ(entries, 0) << "no file beside it";
}

INSTANTIATE_TEST_SUITE_P(Kinds, UnreadableList, ::testing::Values("LinkToItself", "Folder", "NoReadPermission"));

TEST_F(FileAssociation, LinkedListStaysALinkAndItsFileIsReplacedWhole) {
  const std::filesystem::path dotfiles = root() / "home" / "dotfiles";
  test::WriteFile(dotfiles / "mimeapps.list", "# kept in a repository\n[Default Applications]\ntext/plain=vim.desktop;\n");
  std::filesystem::permissions(dotfiles / "mimeapps.list", std::filesystem::perms::owner_read |
                                                               std::filesystem::perms::owner_write |
                                                               std::filesystem::perms::group_read);
  std::filesystem::create_directories(configHome());
  std::filesystem::create_symlink("../dotfiles/mimeapps.list", configHome() / "mimeapps.list");

  ASSERT_TRUE(RegisterType("WAV"));
  ASSERT_TRUE(std::filesystem::is_symlink(configHome() / "mimeapps.list"));
  EXPECT_EQ(std::filesystem::read_symlink(configHome() / "mimeapps.list"), "../dotfiles/mimeapps.list");
  const KeyFile list = KeyFile::Read(dotfiles / "mimeapps.list");
  EXPECT_EQ(list.Find("Default Applications", "text/plain"), "vim.desktop;");
  EXPECT_EQ(list.Find("Default Applications", "audio/x-wav"), "qorve-open.desktop;");
  EXPECT_EQ(test::ReadFile(dotfiles / "mimeapps.list").rfind("# kept in a repository\n", 0), 0u);
  EXPECT_EQ(std::filesystem::status(dotfiles / "mimeapps.list").permissions(),
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                std::filesystem::perms::group_read);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dotfiles), std::filesystem::directory_iterator()), 1);
  EXPECT_TRUE(AssociatedWithPlayer("WAV"));

  ASSERT_TRUE(UnregisterType("WAV"));
  ASSERT_TRUE(std::filesystem::is_symlink(configHome() / "mimeapps.list"));
  EXPECT_EQ(KeyFile::Read(dotfiles / "mimeapps.list").Find("Default Applications", "audio/x-wav"), std::nullopt);
}

class ExecLines : public ::testing::TestWithParam<const char*> {};

TEST_P(ExecLines, ProgramPathSurvivesQuoting) {
  EXPECT_EQ(ProgramOfExecLine(ExecLineFor(GetParam()) + " %f"), GetParam());
}

INSTANTIATE_TEST_SUITE_P(Paths, ExecLines,
                         ::testing::Values("/usr/bin/qorve", "/home/a b/My Music/qorve", "/x/\"quoted\"/qorve",
                                           "/x/$HOME/`cmd`/qorve", "/x/back\\slash/qorve", "/x/100%/qorve"));

TEST(KeyFileEdits, OtherLinesAndGroupsStayAsTheyWere) {
  KeyFile file = KeyFile::Parse("# comment\n[Default Applications]\ntext/plain=vim.desktop;\n\n[Other]\nx=1\n");
  file.Set("Default Applications", "audio/x-wav", "qorve.desktop;");
  file.Set("New", "k", "v");
  file.Remove("Other", "x");
  EXPECT_EQ(file.Serialize(),
            "# comment\n[Default Applications]\ntext/plain=vim.desktop;\naudio/x-wav=qorve.desktop;\n\n[Other]\n\n"
            "[New]\nk=v\n");
}

}  // namespace
}  // namespace qorve
