// Libraries reach the system folder whole or not at all.
#include "downloader/library_copy.h"

#include "support/file_size_limit.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <string>

namespace qorve {
namespace {

namespace fs = std::filesystem;

class LibraryCopyTest : public test::TempHome {
 protected:
  fs::path library() const { return root() / "work" / "CAB32.DLL"; }
  fs::path installed() const { return root() / "system" / "CAB32.DLL"; }
  std::size_t FilesInSystem() const {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(root() / "system"), fs::directory_iterator()));
  }
};

TEST_F(LibraryCopyTest, ReplacesOrKeepsTheInstalledLibraryAsAsked) {
  test::WriteFile(library(), "new library");
  test::WriteFile(installed(), "old library");
  EXPECT_TRUE(CopyLibraryWhole(library(), installed(), false));
  EXPECT_EQ(test::ReadFile(installed()), "old library");
  EXPECT_TRUE(CopyLibraryWhole(library(), installed(), true));
  EXPECT_EQ(test::ReadFile(installed()), "new library");
  EXPECT_EQ(FilesInSystem(), 1u);
}

// The disk fills part way through the copy (the file-size limit stands in):
// the installed library stays as it was, or none is there, and no piece of
// the new one is left beside it.
TEST_F(LibraryCopyTest, ACopyCutShortLeavesTheFolderAsItWas) {
  test::WriteFile(library(), std::string(64 << 10, 'L'));
  fs::create_directories(root() / "system");
  {
    const test::FileSizeLimit limit(16 << 10);
    EXPECT_FALSE(CopyLibraryWhole(library(), installed(), false));
  }
  EXPECT_EQ(FilesInSystem(), 0u);
  test::WriteFile(installed(), "old library");
  {
    const test::FileSizeLimit limit(16 << 10);
    EXPECT_FALSE(CopyLibraryWhole(library(), installed(), true));
  }
  EXPECT_EQ(test::ReadFile(installed()), "old library");
  EXPECT_EQ(FilesInSystem(), 1u);
}

}  // namespace
}  // namespace qorve
