#include "destination_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <system_error>
#include <utility>

namespace qorve::archiver {
namespace {

constexpr mode_t kFolderMode = 0755;
constexpr mode_t kFileMode = 0644;
constexpr mode_t kExecutableMode = 0755;
// Temporary names tried before a new file counts as impossible to make.
constexpr int kTemporaryNameTries = 100;

int OpenFolderBelow(int parent, const std::string& name) {
  return openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// Short and fixed in length, so that it fits beside a member whose own name is
// as long as names get; the leading dot keeps it out of file managers' views.
std::string TemporaryName() {
  static std::atomic<unsigned> counter{0};
  return ".qorve-" + std::to_string(getpid()) + "-" + std::to_string(counter.fetch_add(1)) + ".part";
}

std::vector<std::string> SplitAtSlashes(const std::string& text) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == '/') {
      std::string part = text.substr(start, i - start);
      if (!part.empty() && part != ".") parts.push_back(std::move(part));
      start = i + 1;
    }
  }
  return parts;
}

}  // namespace

NewFile::NewFile(int folder, std::string temporaryName, std::string name, int fd)
    : folder_(folder), fd_(fd), temporaryName_(std::move(temporaryName)), name_(std::move(name)) {}

NewFile::~NewFile() { Abandon(); }

NewFile::NewFile(NewFile&& other) noexcept
    : folder_(std::exchange(other.folder_, -1)),
      fd_(std::exchange(other.fd_, -1)),
      temporaryName_(std::move(other.temporaryName_)),
      name_(std::move(other.name_)) {}

NewFile& NewFile::operator=(NewFile&& other) noexcept {
  if (this != &other) {
    Abandon();
    folder_ = std::exchange(other.folder_, -1);
    fd_ = std::exchange(other.fd_, -1);
    temporaryName_ = std::move(other.temporaryName_);
    name_ = std::move(other.name_);
  }
  return *this;
}

void NewFile::Abandon() {
  if (fd_ >= 0) {
    close(fd_);
    unlinkat(folder_, temporaryName_.c_str(), 0);
  }
  if (folder_ >= 0) close(folder_);
  fd_ = -1;
  folder_ = -1;
}

bool NewFile::Commit() {
  if (fd_ < 0) return false;
  const bool closed = close(fd_) == 0;
  fd_ = -1;
  // rename replaces a file or a link of that name (the link itself, never
  // what it points at) and fails on a folder.
  const bool named = closed && renameat(folder_, temporaryName_.c_str(), folder_, name_.c_str()) == 0;
  if (!named) unlinkat(folder_, temporaryName_.c_str(), 0);
  close(folder_);
  folder_ = -1;
  return named;
}

DestinationFolder::DestinationFolder(const std::string& path) : path_(path.empty() ? "." : path) {
  std::error_code ec;
  const bool existed = std::filesystem::exists(path_, ec);
  std::filesystem::create_directories(path_, ec);
  root_ = open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  made_ = root_ >= 0 && !existed;
}

DestinationFolder::~DestinationFolder() {
  if (root_ >= 0) close(root_);
}

void DestinationFolder::RemoveIfMadeAndEmpty() {
  if (made_) rmdir(path_.c_str());  // fails, as it should, on a folder with anything in it
}

void DestinationFolder::CloseParent(int fd) const {
  if (fd >= 0 && fd != root_) close(fd);
}

int DestinationFolder::OpenParent(const std::vector<std::string>& components, bool create) const {
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

bool DestinationFolder::IsRealFolder(const std::vector<std::string>& path) const {
  std::vector<std::string> withLeaf = path;
  withLeaf.emplace_back(".");
  const int folder = OpenParent(withLeaf, false);
  if (folder < 0) return false;
  CloseParent(folder);
  return true;
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

NewFile DestinationFolder::CreateFile(const std::vector<std::string>& components, bool executable) {
  if (root_ < 0 || components.empty()) return {};
  const int parent = OpenParent(components, true);
  if (parent < 0) return {};
  // The new file owns its own descriptor of the folder, also when that is the destination.
  const int folder = parent == root_ ? fcntl(root_, F_DUPFD_CLOEXEC, 0) : parent;
  if (folder < 0) return {};
  for (int attempt = 0; attempt < kTemporaryNameTries; ++attempt) {
    std::string temporary = TemporaryName();
    const int fd = openat(folder, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          executable ? kExecutableMode : kFileMode);
    if (fd >= 0) return NewFile(folder, std::move(temporary), components.back(), fd);
    if (errno != EEXIST) break;
  }
  close(folder);
  return {};
}

bool DestinationFolder::TargetStaysInside(const std::vector<std::string>& components,
                                          const std::string& target) const {
  if (root_ < 0 || components.empty() || target.empty() || target.front() == '/') return false;
  std::vector<std::string> at(components.begin(), components.end() - 1);
  const std::vector<std::string> parts = SplitAtSlashes(target);
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (parts[i] == "..") {
      if (at.empty()) return false;
      at.pop_back();
      continue;
    }
    at.push_back(parts[i]);
    if (i + 1 < parts.size() && !IsRealFolder(at)) return false;
  }
  return true;
}

bool DestinationFolder::CreateSymlink(const std::vector<std::string>& components, const std::string& target) {
  if (root_ < 0 || components.empty() || !TargetStaysInside(components, target)) return false;
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
