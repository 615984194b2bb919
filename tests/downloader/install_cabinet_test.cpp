// CAB32's installation: the cabinet cut out of a self-extractor made with
// gcab, expanded by libarchive and copied over an older library.
#include "downloader/install_cabinet.h"

#include <gtest/gtest.h>

#include "download_site_fake.h"
#include "support/file_size_limit.h"
#include "support/temp_home.h"

namespace qorve {
namespace {

class InstallCabinetTest : public test::TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    std::filesystem::create_directories(root() / "work");
    std::filesystem::create_directories(root() / "system");
  }
};

TEST_F(InstallCabinetTest, ReplacesTheInstalledLibrary) {
  if (!test::HaveSiteTools()) GTEST_SKIP() << "gcab missing";
  const std::string library(200000, 'C');
  test::WriteCabinetSelfExtractor(root() / "cab32.exe", library);
  test::WriteFile(root() / "system" / "CAB32.DLL", "old");
  EXPECT_EQ(InstallCabinet(root() / "cab32.exe", root() / "work", root() / "system"), 0);
  EXPECT_TRUE(test::ReadFile(root() / "system" / "CAB32.DLL") == library);
  EXPECT_TRUE(test::ReadFile(root() / "work" / "CAB32.CAB").starts_with("MSCF"));
}

TEST_F(InstallCabinetTest, NoCabinetNoLibrary) {
  test::WriteFile(root() / "plain.exe", std::string(100000, 'M') + "MSCF");  // no terminating zero byte
  test::WriteFile(root() / "work" / "CAB32.DLL", "left from before");
  EXPECT_EQ(InstallCabinet(root() / "plain.exe", root() / "work", root() / "system"), -1);
  EXPECT_FALSE(std::filesystem::exists(root() / "work" / "CAB32.CAB"));
  EXPECT_FALSE(std::filesystem::exists(root() / "system" / "CAB32.DLL"));
}

// A cabinet whose library expands past what the working folder may take is
// refused before the library is written; the cut-out cabinet counts too.
TEST_F(InstallCabinetTest, ALibraryPastTheBudgetIsRefused) {
  if (!test::HaveSiteTools()) GTEST_SKIP() << "gcab missing";
  const std::string library(4 << 20, '\0');  // compresses to a few kilobytes
  test::WriteCabinetSelfExtractor(root() / "cab32.exe", library);
  struct Case {
    const char* what;
    archiver::ArchiveLimits limits;
    bool installed;
  };
  const Case cases[] = {
      {"the library fits the cap", {8 << 20, archiver::kMaxMembers, 0}, true},
      {"the library alone is past the cap", {(4 << 20) - 1, archiver::kMaxMembers, 0}, false},
      {"the library and the cabinet are past the cap", {4 << 20, archiver::kMaxMembers, 0}, false},
      {"no free space beyond the margin", {8 << 20, archiver::kMaxMembers, UINT64_MAX}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(root() / "system" / "CAB32.DLL");
    EXPECT_EQ(InstallCabinet(root() / "cab32.exe", root() / "work", root() / "system", c.limits),
              c.installed ? 0 : -1);
    EXPECT_EQ(std::filesystem::exists(root() / "work" / "CAB32.DLL"), c.installed);
    EXPECT_EQ(std::filesystem::exists(root() / "system" / "CAB32.DLL"), c.installed);
  }
}

// A cabinet the disk does not take whole (here the file-size limit) leaves
// neither its truncated copy nor a library behind.
TEST_F(InstallCabinetTest, ACabinetNotCopiedWholeLeavesNoFile) {
  test::WriteFile(root() / "cab32.exe", std::string(30000, 'M') + std::string("MSCF\0", 5) + std::string(1 << 20, 'c'));
  const test::FileSizeLimit limit(256 << 10);
  EXPECT_EQ(InstallCabinet(root() / "cab32.exe", root() / "work", root() / "system"), -1);
  EXPECT_TRUE(std::filesystem::is_empty(root() / "work"));
  EXPECT_TRUE(std::filesystem::is_empty(root() / "system"));
}

}  // namespace
}  // namespace qorve
