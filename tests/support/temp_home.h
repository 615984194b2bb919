// A private settings folder and home for one test: QORVE_HOME, HOME and the XDG
// folders point into a fresh temporary folder that is removed afterwards.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace qorve::test {

class TempHome : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A fixture that overrides SetUp must call TempHome::SetUp first, or its
  // files would land in the current folder.
  std::filesystem::path root() const {
    EXPECT_FALSE(root_.empty()) << "TempHome::SetUp has not run";
    return root_;
  }
  std::filesystem::path settingsFolder() const { return root_ / "settings"; }

 private:
  std::filesystem::path root_;
};

// Whole content of a file ("" when missing).
std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const std::string& bytes);

}  // namespace qorve::test
