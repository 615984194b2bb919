#include "platform/picture/susie_plugin.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <vector>

namespace qorve {
namespace {

// One dlopen of a plug-in, closed when it goes out of scope.
class LoadedPlugin {
 public:
  explicit LoadedPlugin(const std::string& path) : handle_(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {}
  ~LoadedPlugin() {
    if (handle_ != nullptr) dlclose(handle_);
  }
  LoadedPlugin(const LoadedPlugin&) = delete;
  LoadedPlugin& operator=(const LoadedPlugin&) = delete;

  template <typename F>
  F Entry(const char* name) const {
    return handle_ != nullptr ? reinterpret_cast<F>(dlsym(handle_, name)) : nullptr;
  }

 private:
  void* handle_;
};

bool HasSpiExtension(const std::string& name) {
  if (name.size() < 5) return false;
  std::string tail = name.substr(name.size() - 4);
  std::transform(tail.begin(), tail.end(), tail.begin(), [](unsigned char c) { return std::tolower(c); });
  return tail == ".spi";
}

bool IsRegularFile(const std::string& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

}  // namespace

std::string FindSusiePlugin(const std::string& folder, const std::string& path) {
  std::array<char, SUSIE_HEAD_SIZE> head{};
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return {};
  struct stat status {};
  // Only a regular file has a head to read (a FIFO would block).
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    close(fd);
    return {};
  }
  std::size_t filled = 0;
  while (filled < head.size()) {
    const ssize_t got = read(fd, head.data() + filled, head.size() - filled);
    if (got <= 0) break;
    filled += static_cast<std::size_t>(got);
  }
  close(fd);

  if (folder.empty()) return {};
  const std::string prefix = folder.back() == '/' ? folder : folder + "/";
  DIR* dir = opendir(prefix.c_str());
  if (dir == nullptr) return {};
  std::vector<std::string> candidates;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (HasSpiExtension(name) && IsRegularFile(prefix + name)) candidates.push_back(prefix + name);
  }
  closedir(dir);

  for (const std::string& candidate : candidates) {
    LoadedPlugin plugin(candidate);
    const auto isSupported = plugin.Entry<SusieIsSupported>("IsSupported");
    if (isSupported != nullptr && isSupported(path.c_str(), reinterpret_cast<uintptr_t>(head.data())) != 0) {
      return candidate;
    }
  }
  return {};
}

SusiePicture::~SusiePicture() {
  std::free(info_);
  std::free(bits_);
}

int GetSusiePicture(const std::string& pluginPath, const std::string& path, SusiePicture& out) {
  LoadedPlugin plugin(pluginPath);
  const auto isSupported = plugin.Entry<SusieIsSupported>("IsSupported");
  const auto getPicture = plugin.Entry<SusieGetPicture>("GetPicture");
  if (isSupported == nullptr || getPicture == nullptr) return SUSIE_NOT_IMPLEMENTED;
  void* info = nullptr;
  void* bits = nullptr;
  const int code = getPicture(path.c_str(), 0, SUSIE_INPUT_FILE, &info, &bits, nullptr, 0);
  if (code != SUSIE_SUCCESS || info == nullptr || bits == nullptr) {
    // A plug-in that failed yet handed out a block still gave it to us.
    std::free(info);
    std::free(bits);
    return code != SUSIE_SUCCESS ? code : SUSIE_INTERNAL_ERROR;
  }
  std::free(out.info_);
  std::free(out.bits_);
  out.info_ = info;
  out.bits_ = bits;
  // The allocator knows how much of each block is there to read, which keeps
  // a plug-in's wrong header from taking us past its end.
  out.infoSize_ = malloc_usable_size(info);
  out.bitsSize_ = malloc_usable_size(bits);
  return SUSIE_SUCCESS;
}

}  // namespace qorve
