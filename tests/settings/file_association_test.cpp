// Associations on a private XDG desktop: the extension-to-type mapping, the
// player made default beside another program and given back, our own types.
#include "settings/file_association.h"

#include "settings/association_home.h"
#include "settings/key_file.h"
#include "settings/mime_database.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

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
  EXPECT_FALSE(std::filesystem::exists(dataHome() / "applications" / "qorve.desktop"));
}

TEST_F(FileAssociation, RegisterBesideAnotherProgramThenUnregisterGivesTheTypeBack) {
  InstallOtherPlayer("audio/x-wav");
  const std::string other = test::ReadFile(dataHome() / "applications" / "other.desktop");
  ASSERT_EQ(QueryAssociation("WAV"), "/opt/other/play");

  ASSERT_TRUE(RegisterType("WAV"));
  EXPECT_EQ(QueryAssociation(".wav"), PlayerPath().string());
  const KeyFile list = KeyFile::Read(configHome() / "mimeapps.list");
  EXPECT_EQ(list.Find("Default Applications", "audio/x-wav"), "qorve.desktop;other.desktop;");
  EXPECT_EQ(list.Find("Added Associations", "audio/x-wav"), "qorve.desktop;");
  const KeyFile entry = KeyFile::Read(dataHome() / "applications" / "qorve.desktop");
  EXPECT_EQ(entry.Find("Desktop Entry", "MimeType"), "audio/x-wav;");
  EXPECT_EQ(ProgramOfExecLine(entry.Find("Desktop Entry", "Exec").value_or("")), PlayerPath().string());
  if (const std::string xdg = XdgMimeDefault("audio/x-wav"); !xdg.empty()) {
    EXPECT_EQ(xdg, "qorve.desktop");
  }

  ASSERT_TRUE(UnregisterType("wav"));
  EXPECT_EQ(QueryAssociation("WAV"), "/opt/other/play");
  EXPECT_EQ(KeyFile::Read(configHome() / "mimeapps.list").Find("Default Applications", "audio/x-wav"),
            "other.desktop;");
  EXPECT_EQ(KeyFile::Read(configHome() / "mimeapps.list").Find("Added Associations", "audio/x-wav"), std::nullopt);
  EXPECT_EQ(test::ReadFile(dataHome() / "applications" / "other.desktop"), other);
  EXPECT_EQ(KeyFile::Read(dataHome() / "applications" / "qorve.desktop").Find("Desktop Entry", "MimeType"),
            std::nullopt);
  if (const std::string xdg = XdgMimeDefault("audio/x-wav"); !xdg.empty()) {
    EXPECT_EQ(xdg, "other.desktop");
  }
}

TEST_F(FileAssociation, UnregisterLeavesNoStaleDefault) {
  ASSERT_TRUE(RegisterType("OGG"));
  for (const std::string& type : MimeTypesOfExtension("ogg")) EXPECT_EQ(DefaultApplication(type), "qorve.desktop");
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
