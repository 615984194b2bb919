#include "destination_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace qorve::archiver {
namespace {

constexpr mode_t kFolderMode = 0755;
constexpr mode_t kFileMode = 0644;
constexpr mode_t kExecutableMode = 0755;

int OpenFolderBelow(int parent, const std::string& name) {
  return openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

}  // namespace

DestinationFolder::DestinationFolder(const std::string& path) {
  std::error_code ec;
  std::filesystem::create_directories(path.empty() ? "." : path, ec);
  root_ = open(path.empty() ? "." : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

DestinationFolder::~DestinationFolder() {
  if (root_ >= 0) close(root_);
}

void DestinationFolder::CloseParent(int fd) const {
  if (fd >= 0 && fd != root_) close(fd);
}

int DestinationFolder::OpenParent(const std::vector<std::string>& components, bool create) {
  int current = root_;
  for (std::size_t i = 0; i + 1 < components.size(); ++i) {
    int next = OpenFolderBelow(current, components[i]);
    if (next < 0 && errno == ENOENT && create) {
      if (mkdirat(current, components[i].c_str(), kFolderMode) == 0 || errno == EEXIST) {
        next = OpenFolderBelow(current, components[i]);
      }
    }
    CloseParent(current);
    if (next < 0) return -1;
    current = next;
  }
  return current;
}

bool DestinationFolder::MakeFolders(const std::vector<std::string>& components) {
  if (root_ < 0 || components.empty()) return false;
  std::vector<std::string> withLeaf = components;
  withLeaf.emplace_back(".");
  const int parent = OpenParent(withLeaf, true);
  if (parent < 0) return false;
  CloseParent(parent);
  return true;
}

void DestinationFolder::RemoveEntry(int parent, const std::string& name) {
  struct stat info;
  if (fstatat(parent, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISDIR(info.st_mode)) {
    unlinkat(parent, name.c_str(), 0);
  }
}

int DestinationFolder::CreateFile(const std::vector<std::string>& components, bool executable) {
  if (root_ < 0 || components.empty()) return -1;
  const int parent = OpenParent(components, true);
  if (parent < 0) return -1;
  const std::string& name = components.back();
  RemoveEntry(parent, name);
  const int fd = openat(parent, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                        executable ? kExecutableMode : kFileMode);
  CloseParent(parent);
  return fd;
}

bool DestinationFolder::CreateSymlink(const std::vector<std::string>& components, const std::string& target) {
  if (root_ < 0 || components.empty()) return false;
  const int parent = OpenParent(components, true);
  if (parent < 0) return false;
  RemoveEntry(parent, components.back());
  const bool made = symlinkat(target.c_str(), parent, components.back().c_str()) == 0;
  CloseParent(parent);
  return made;
}

bool DestinationFolder::CreateHardLink(const std::vector<std::string>& components,
                                       const std::vector<std::string>& target) {
  if (root_ < 0 || components.empty() || target.empty()) return false;
  const int targetParent = OpenParent(target, false);
  if (targetParent < 0) return false;
  // Only a regular file that is already in the destination can be linked.
  struct stat info;
  bool made = false;
  if (fstatat(targetParent, target.back().c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode)) {
    const int parent = OpenParent(components, true);
    if (parent >= 0) {
      RemoveEntry(parent, components.back());
      made = linkat(targetParent, target.back().c_str(), parent, components.back().c_str(), 0) == 0;
      CloseParent(parent);
    }
  }
  CloseParent(targetParent);
  return made;
}

}  // namespace qorve::archiver
