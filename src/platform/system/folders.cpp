#include "platform/system/folders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <mutex>
#include <vector>

namespace qorve {
namespace {

std::mutex programFolderMutex;
std::filesystem::path programFolderOverride;

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

const passwd* Account() {
  return getpwuid(geteuid());
}

// The value of XDG_DESKTOP_DIR in a user-dirs.dirs file: a shell assignment of
// a double-quoted path that may start with $HOME.
std::filesystem::path DesktopFromUserDirs() {
  std::ifstream in(ConfigHomeFolder() / "user-dirs.dirs");
  std::string line;
  while (std::getline(in, line)) {
    const std::string prefix = "XDG_DESKTOP_DIR=";
    const std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line.compare(start, prefix.size(), prefix) != 0) continue;
    std::string value = line.substr(start + prefix.size());
    while (!value.empty() && (value.back() == '\r' || value.back() == ' ' || value.back() == '\t')) value.pop_back();
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    if (value.rfind("$HOME", 0) == 0) value = HomeFolder().string() + value.substr(5);
    if (value.empty() || value.front() != '/') return {};
    return value;
  }
  return {};
}

}  // namespace

std::filesystem::path ProgramFolder() {
  {
    std::lock_guard lock(programFolderMutex);
    if (!programFolderOverride.empty()) return programFolderOverride;
  }
  static const std::filesystem::path folder = [] {
    std::vector<char> buffer(4096);
    for (;;) {
      const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
      if (n < 0) return std::filesystem::current_path();
      if (static_cast<std::size_t>(n) < buffer.size()) {
        return std::filesystem::path(std::string(buffer.data(), static_cast<std::size_t>(n))).parent_path();
      }
      buffer.resize(buffer.size() * 2);
    }
  }();
  return folder;
}

void SetProgramFolderForTesting(const std::filesystem::path& folder) {
  std::lock_guard lock(programFolderMutex);
  programFolderOverride = folder;
}

std::filesystem::path SettingsFolder() {
  const std::string own = Environment("QORVE_HOME");
  if (!own.empty()) return own;
  return ConfigHomeFolder() / "qorve";
}

std::string LoginName() {
  if (const passwd* account = Account(); account && account->pw_name && *account->pw_name) return account->pw_name;
  for (const char* name : {"USER", "LOGNAME"}) {
    const std::string value = Environment(name);
    if (!value.empty()) return value;
  }
  return "user";
}

std::filesystem::path HomeFolder() {
  const std::string home = Environment("HOME");
  if (!home.empty()) return home;
  if (const passwd* account = Account(); account && account->pw_dir) return account->pw_dir;
  return {};
}

std::filesystem::path DataHomeFolder() {
  const std::string value = Environment("XDG_DATA_HOME");
  if (!value.empty() && value.front() == '/') return value;
  return HomeFolder() / ".local" / "share";
}

std::filesystem::path ConfigHomeFolder() {
  const std::string value = Environment("XDG_CONFIG_HOME");
  if (!value.empty() && value.front() == '/') return value;
  return HomeFolder() / ".config";
}

std::filesystem::path TempFolder() {
  const std::string value = Environment("TMPDIR");
  return value.empty() ? std::filesystem::path("/tmp") : std::filesystem::path(value);
}

int SpecialFolderPath(const void* /*ownerWindow*/, int folderId, std::string& out) {
  if (HomeFolder().empty()) return 0;
  switch (folderId) {
    case kFolderDesktop: {
      std::filesystem::path desktop = DesktopFromUserDirs();
      if (desktop.empty()) desktop = HomeFolder() / "Desktop";
      out = desktop.string();
      return 1;
    }
    case kFolderSendTo:
      out = (DataHomeFolder() / "Thunar" / "sendto").string();
      return 1;
    default:
      return 0;
  }
}

}  // namespace qorve
