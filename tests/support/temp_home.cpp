#include "support/temp_home.h"

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace qorve::test {

void TempHome::SetUp() {
  std::string pattern = (std::filesystem::temp_directory_path() / "qorve-test-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  root_ = pattern;
  setenv("QORVE_HOME", settingsFolder().c_str(), 1);
  setenv("HOME", (root_ / "home").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (root_ / "home" / ".config").c_str(), 1);
  setenv("XDG_DATA_HOME", (root_ / "home" / ".local" / "share").c_str(), 1);
}

void TempHome::TearDown() {
  std::error_code ignored;
  std::filesystem::remove_all(root_, ignored);
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

}  // namespace qorve::test
