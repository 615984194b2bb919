// The archiver module chosen by the archive's name and the exact command line
// it receives, through stand-in modules in the program folder.
#include "downloader/archiver_extract.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "libs/archiver/command_line.h"
#include "platform/system/folders.h"
#include "support/temp_home.h"

namespace qorve {
namespace {

struct ArchiveCase {
  const char* file;
  const char* entry;
};

class ExtractWithArchiverTest : public test::TempHome, public ::testing::WithParamInterface<ArchiveCase> {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    setenv("QORVE_FAKE_ARCHIVER_LOG", (root() / "log").c_str(), 1);
  }
  void TearDown() override {
    unsetenv("QORVE_FAKE_ARCHIVER_LOG");
    SetProgramFolderForTesting({});
    TempHome::TearDown();
  }
};

TEST_P(ExtractWithArchiverTest, CallsTheModuleWithTheExactCommandLine) {
  SetProgramFolderForTesting(FAKE_ARCHIVERS_DIR);
  const std::filesystem::path archive = root() / GetParam().file;
  const std::filesystem::path system = root() / "system";
  std::filesystem::create_directories(system);
  EXPECT_EQ(ExtractWithArchiver(archive, system), 0);
  EXPECT_EQ(test::ReadFile(root() / "log"), std::string(GetParam().entry) + "\te -n -m1 -c0 -gm0 -ga1 \"" +
                                                archive.string() + "\" \"" + system.string() + "\\\" *.DLL\n");
  EXPECT_EQ(test::ReadFile(system / "LIBRARY.DLL"), GetParam().entry);
}

// A name ending in a lower-case "p" goes to UNZIP32, any other to UNLHA32.
INSTANTIATE_TEST_SUITE_P(Names, ExtractWithArchiverTest,
                         ::testing::Values(ArchiveCase{"library.zip", "UnZip"}, ArchiveCase{"library.ZIP", "Unlha"},
                                           ArchiveCase{"library.lzh", "Unlha"},
                                           ArchiveCase{"library.exe", "Unlha"}));

// The line read back by the modules' own parser names exactly the archive and
// the destination it was built for, whatever blanks, backslashes or non-ASCII
// bytes the paths hold.
TEST(ArchiverCommandLineTest, ReadsBackAsTheArchiveAndTheDestination) {
  const std::vector<std::pair<std::string, std::string>> cases{
      {"/tmp/pakgrab-a1/unz600.zip", "/home/user/.local/share/qorve/system"},
      {"/tmp/my work/-x.lzh", "/home/a b/system/"},
      {"/tmp/w\\x/a.lzh", "/data/\x83\x65/sys\\tem"},
      {"a.lzh", "/"}};
  for (const auto& [archive, folder] : cases) {
    SCOPED_TRACE(archive + " into " + folder);
    const auto line = ArchiverCommandLine(archive, folder);
    ASSERT_TRUE(line.has_value());
    const archiver::ArchiverCommand command = archiver::ParseArchiverCommand(*line);
    std::string destination = folder;
    while (destination.size() > 1 && destination.back() == '/') destination.pop_back();
    EXPECT_EQ(command.command, "e");
    EXPECT_EQ(command.archive, archive);
    EXPECT_EQ(command.destination, destination);
    EXPECT_EQ(command.patterns, std::vector<std::string>{"*.DLL"});
  }
}

// A quote in either path would end its word early and let the rest of the
// name become further words, and a missing or relative folder would leave the
// module to choose where to write: such a line is never handed over.
TEST_F(ExtractWithArchiverTest, RefusesLinesThatWouldNotSayWhatTheyMean) {
  SetProgramFolderForTesting(FAKE_ARCHIVERS_DIR);
  const std::filesystem::path system = root() / "system";
  std::filesystem::create_directories(system);
  EXPECT_EQ(ExtractWithArchiver(root() / "UNLHA32.DLL\" \".bashrc", system), -1);
  EXPECT_EQ(ExtractWithArchiver(root() / "library.lzh", root() / "sys\" \"tem"), -1);
  EXPECT_EQ(ExtractWithArchiver(root() / "library.lzh", ""), -1);
  EXPECT_EQ(ExtractWithArchiver(root() / "library.lzh", "system"), -1);
  EXPECT_FALSE(std::filesystem::exists(root() / "log"));
  EXPECT_TRUE(std::filesystem::is_empty(system));
}

TEST_F(ExtractWithArchiverTest, MissingModuleFails) {
  SetProgramFolderForTesting(root());
  EXPECT_EQ(ExtractWithArchiver(root() / "library.zip", root()), -1);
  EXPECT_EQ(ExtractWithArchiver(root() / "library.lzh", root()), -1);
  EXPECT_FALSE(std::filesystem::exists(root() / "log"));
}

}  // namespace
}  // namespace qorve
