// Helpers of the archiver-module tests: loading a module from the program
// folder as the programs do, running its entries, and reading a folder tree.
#pragma once

#include "libs/archiver/archiver_api.h"
#include "libs/archiver/member_name.h"
#include "player/formats/media_tools.h"
#include "support/temp_home.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <iterator>
#include <map>
#include <string>

namespace qorve::test {

// One module loaded with dlopen from the test program's own folder.
class LoadedArchiver {
 public:
  LoadedArchiver(const std::string& module, const std::string& command) {
    const auto folder = std::filesystem::read_symlink("/proc/self/exe").parent_path();
    handle_ = dlopen((folder / module).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) return;
    command_ = reinterpret_cast<archiver::CommandEntry>(dlsym(handle_, command.c_str()));
    check_ = reinterpret_cast<archiver::CheckEntry>(dlsym(handle_, (command + "CheckArchive").c_str()));
  }
  ~LoadedArchiver() {
    if (handle_ != nullptr) dlclose(handle_);
  }
  LoadedArchiver(const LoadedArchiver&) = delete;
  LoadedArchiver& operator=(const LoadedArchiver&) = delete;

  bool Loaded() const { return command_ != nullptr && check_ != nullptr; }
  // -1 when the module did not load.
  int Check(const std::filesystem::path& archive) const { return Loaded() ? check_(archive.c_str(), 1) : -1; }
  int Run(const std::string& line) {
    if (!Loaded()) return -1;
    char output[256] = {};
    const int result = command_(nullptr, line.c_str(), output, sizeof output);
    lastOutput = output;
    return result;
  }
  // The player's way: extract with folders into `destination`.
  int Extract(const std::filesystem::path& archive, const std::filesystem::path& destination) {
    return Run("x \"" + archive.string() + "\" \"" + destination.string() + "/\" *.*");
  }

  std::string lastOutput;

 private:
  void* handle_ = nullptr;
  archiver::CommandEntry command_ = nullptr;
  archiver::CheckEntry check_ = nullptr;
};

// A temporary home with a folder "outside" beside the destination
// "desktop/title", holding one file no archive may touch.
class OutsideGuardTest : public TempHome {
 protected:
  std::filesystem::path outside() const { return root() / "outside"; }
  std::filesystem::path destination() const { return root() / "desktop" / "title"; }
  void SetUp() override {
    TempHome::SetUp();
    WriteFile(outside() / "secret", "untouched");
  }
  void ExpectOutsideUntouched() {
    namespace fs = std::filesystem;
    EXPECT_EQ(ReadFile(outside() / "secret"), "untouched");
    EXPECT_EQ(std::distance(fs::directory_iterator(outside()), fs::directory_iterator()), 1);
  }
};

// Every entry below `root` by its UTF-8 relative path (names that are not
// UTF-8 taken as CP932, as the modules take them): size and hash of a file's
// contents (short to print on a mismatch), "<dir>" for folders, "-> target"
// for symbolic links.
inline std::map<std::string, std::string> TreeOf(const std::filesystem::path& root) {
  std::map<std::string, std::string> tree;
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    const std::string name = archiver::MemberNameToUtf8(it->path().lexically_relative(root).string());
    if (it->is_symlink()) {
      tree[name] = "-> " + std::filesystem::read_symlink(it->path()).string();
    } else if (it->is_directory()) {
      tree[name] = "<dir>";
    } else {
      const std::string bytes = Bytes(it->path());
      tree[name] = std::to_string(bytes.size()) + " bytes #" + std::to_string(std::hash<std::string>{}(bytes));
    }
  }
  return tree;
}

}  // namespace qorve::test
