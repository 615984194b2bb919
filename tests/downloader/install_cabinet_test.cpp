// CAB32's installation: the cabinet cut out of a self-extractor made with
// gcab, expanded by libarchive and copied over an older library.
#include "downloader/install_cabinet.h"

#include <gtest/gtest.h>

#include "download_site_fake.h"
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

}  // namespace
}  // namespace qorve
