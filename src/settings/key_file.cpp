#include "settings/key_file.h"

#include <unistd.h>

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

bool KeyFile::Write(const std::filesystem::path& file) const {
  std::error_code error;
  std::filesystem::create_directories(file.parent_path(), error);
  const std::filesystem::path temporary = file.string() + ".tmp" + std::to_string(getpid());
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out << Serialize();
    out.close();
    if (!out) {
      std::filesystem::remove(temporary, error);
      return false;
    }
  }
  std::filesystem::rename(temporary, file, error);
  if (error) {
    std::filesystem::remove(temporary, error);
    return false;
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
