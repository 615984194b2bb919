#include "settings/desktop/key_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <system_error>

namespace qorve {
namespace {

bool IsGroupLine(std::string_view line) { return !line.empty() && line.front() == '['; }

std::string_view GroupName(std::string_view line) {
  const std::size_t close = line.find(']');
  return close == std::string_view::npos ? line.substr(1) : line.substr(1, close - 1);
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

// The key of a "Key=Value" line, blanks around it removed; empty for other lines.
std::string_view KeyOf(std::string_view line) {
  if (line.empty() || line.front() == '#') return {};
  const std::size_t equals = line.find('=');
  return equals == std::string_view::npos ? std::string_view() : Trim(line.substr(0, equals));
}

std::string Reason(const std::filesystem::path& file, int error) {
  return file.string() + ": " + std::strerror(error);
}

// Links are followed this many times at most, as the system does.
constexpr int kMostLinksFollowed = 40;

// The file a chain of symbolic links ends at (the path itself when it is no
// link, or the missing file a dangling link names). Nothing for a loop.
std::optional<std::filesystem::path> FinalTarget(std::filesystem::path file, int& error) {
  for (int hops = 0; hops <= kMostLinksFollowed; ++hops) {
    std::error_code code;
    if (!std::filesystem::is_symlink(file, code)) return file;
    const std::filesystem::path target = std::filesystem::read_symlink(file, code);
    if (code) {
      error = code.value();
      return std::nullopt;
    }
    file = target.is_absolute() ? target : file.parent_path() / target;
  }
  error = ELOOP;
  return std::nullopt;
}

}  // namespace

KeyFile KeyFile::Parse(std::string_view text) {
  KeyFile file;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    file.lines_.emplace_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return file;
}

KeyFile KeyFile::Read(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return {};
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return Parse(bytes.str());
}

std::optional<KeyFile> KeyFile::Load(const std::filesystem::path& file, std::string& error) {
  const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    if (errno == ENOENT) return KeyFile{};
    error = Reason(file, errno);
    return std::nullopt;
  }
  struct stat status {};
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    const int reason = S_ISDIR(status.st_mode) ? EISDIR : EINVAL;
    close(fd);
    error = Reason(file, reason);
    return std::nullopt;
  }
  std::string bytes;
  char buffer[8192];
  for (;;) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      const int reason = errno;
      close(fd);
      error = Reason(file, reason);
      return std::nullopt;
    }
    bytes.append(buffer, static_cast<std::size_t>(got));
  }
  close(fd);
  return Parse(bytes);
}

std::optional<std::size_t> KeyFile::FindGroup(std::string_view group) const {
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (IsGroupLine(lines_[i]) && GroupName(lines_[i]) == group) return i;
  }
  return std::nullopt;
}

std::size_t KeyFile::GroupEnd(std::size_t groupLine) const {
  std::size_t end = groupLine + 1;
  while (end < lines_.size() && !IsGroupLine(lines_[end])) ++end;
  return end;
}

std::optional<std::size_t> KeyFile::FindKey(std::size_t groupLine, std::string_view key) const {
  for (std::size_t i = groupLine + 1; i < GroupEnd(groupLine); ++i) {
    if (KeyOf(lines_[i]) == key) return i;
  }
  return std::nullopt;
}

std::optional<std::string> KeyFile::Find(std::string_view group, std::string_view key) const {
  const auto groupLine = FindGroup(group);
  if (!groupLine) return std::nullopt;
  const auto keyLine = FindKey(*groupLine, key);
  if (!keyLine) return std::nullopt;
  const std::string& line = lines_[*keyLine];
  return std::string(Trim(std::string_view(line).substr(line.find('=') + 1)));
}

std::vector<std::string> KeyFile::Keys(std::string_view group) const {
  std::vector<std::string> keys;
  const auto groupLine = FindGroup(group);
  if (!groupLine) return keys;
  for (std::size_t i = *groupLine + 1; i < GroupEnd(*groupLine); ++i) {
    if (const std::string_view key = KeyOf(lines_[i]); !key.empty()) keys.emplace_back(key);
  }
  return keys;
}

void KeyFile::Set(std::string_view group, std::string_view key, std::string_view value) {
  std::string line = std::string(key) + "=" + std::string(value);
  auto groupLine = FindGroup(group);
  if (!groupLine) {
    if (!lines_.empty() && !lines_.back().empty()) lines_.emplace_back();
    lines_.push_back("[" + std::string(group) + "]");
    lines_.push_back(std::move(line));
    return;
  }
  if (const auto keyLine = FindKey(*groupLine, key)) {
    lines_[*keyLine] = std::move(line);
    return;
  }
  // After the group's last entry, before the blank lines that separate it from the next group.
  std::size_t at = GroupEnd(*groupLine);
  while (at > *groupLine + 1 && Trim(lines_[at - 1]).empty()) --at;
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
}

void KeyFile::Remove(std::string_view group, std::string_view key) {
  const auto groupLine = FindGroup(group);
  if (!groupLine) return;
  while (const auto keyLine = FindKey(*groupLine, key)) {
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(*keyLine));
  }
}

std::string KeyFile::Serialize() const {
  std::string text;
  for (const std::string& line : lines_) text += line + "\n";
  return text;
}

bool KeyFile::Write(const std::filesystem::path& path, std::string* error) const {
  const auto fail = [&](const std::filesystem::path& file, int reason) {
    if (error != nullptr) *error = Reason(file, reason);
    errno = reason;
    return false;
  };
  int reason = 0;
  const std::optional<std::filesystem::path> target = FinalTarget(path, reason);
  if (!target) return fail(path, reason);
  const std::filesystem::path& file = *target;
  std::error_code code;
  std::filesystem::create_directories(file.parent_path(), code);
  // The new file keeps the permissions of the one it replaces; a first one
  // gets what the user's umask leaves.
  struct stat old {};
  const bool replacing = stat(file.c_str(), &old) == 0;
  const std::filesystem::path temporary = file.string() + ".tmp" + std::to_string(getpid());
  const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, replacing ? 0600 : 0666);
  if (fd < 0) return fail(temporary, errno);
  const std::string text = Serialize();
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t written = write(fd, text.data() + done, text.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) break;
    done += static_cast<std::size_t>(written);
  }
  reason = done < text.size() ? (errno != 0 ? errno : EIO) : 0;
  if (reason == 0 && replacing && fchmod(fd, old.st_mode & 07777) != 0) reason = errno;
  if (close(fd) != 0 && reason == 0) reason = errno;
  if (reason == 0 && rename(temporary.c_str(), file.c_str()) != 0) reason = errno;
  if (reason != 0) {
    unlink(temporary.c_str());
    return fail(file, reason);
  }
  return true;
}

std::vector<std::string> SplitList(std::string_view value) {
  std::vector<std::string> items;
  while (!value.empty()) {
    const std::size_t end = value.find(';');
    const std::string_view item = Trim(value.substr(0, end));
    if (!item.empty()) items.emplace_back(item);
    if (end == std::string_view::npos) break;
    value.remove_prefix(end + 1);
  }
  return items;
}

std::string JoinList(const std::vector<std::string>& items) {
  std::string value;
  for (const std::string& item : items) value += item + ";";
  return value;
}

}  // namespace qorve
