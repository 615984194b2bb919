// The archiver module chosen by the archive's name and the exact command line
// it receives, through stand-in modules in the program folder.
#include "downloader/archiver_extract.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/folders.h"
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

TEST_F(ExtractWithArchiverTest, MissingModuleFails) {
  SetProgramFolderForTesting(root());
  EXPECT_EQ(ExtractWithArchiver(root() / "library.zip", root()), -1);
  EXPECT_EQ(ExtractWithArchiver(root() / "library.lzh", root()), -1);
  EXPECT_FALSE(std::filesystem::exists(root() / "log"));
}

}  // namespace
}  // namespace qorve
