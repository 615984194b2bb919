#include "player/core/file_list.h"

#include "common/log.h"
#include "platform/system/text.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace qorve {
namespace {

namespace fs = std::filesystem;

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Name order of a folder listing: ASCII letters ignoring case, then the exact
// bytes so that "A.mp3" and "a.mp3" still have a fixed order.
bool NameLess(const std::string& a, const std::string& b) {
  const auto folded = std::lexicographical_compare(
      a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(FoldAscii(x)) < static_cast<unsigned char>(FoldAscii(y));
      });
  if (folded) return true;
  if (EqualsIgnoreCase(a, b)) return a < b;
  return false;
}

bool IsFolder(const fs::path& path) {
  std::error_code ec;
  return fs::is_directory(path, ec);
}

// The folder a scan lists, as the first argument and the list source name it.
fs::path StartFolder(const FileList& list) {
  const fs::path argument(list.firstArgument);
  if (list.source == kListFolder && IsFolder(argument)) return argument;
  return argument.parent_path();
}

}  // namespace

std::vector<std::string> ParsePlaylist(std::string_view bytes) {
  std::vector<std::string> entries;
  while (!bytes.empty()) {
    const std::size_t end = bytes.find('\n');
    std::string_view line = bytes.substr(0, end);
    bytes = end == std::string_view::npos ? std::string_view() : bytes.substr(end + 1);

    line = line.substr(0, line.find('\0'));
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
    if (line.empty()) continue;
    entries.push_back(TextToUtf8(line));
  }
  return entries;
}

bool LoadPlaylist(FileList& list, const std::string& path) {
  // Only regular files: a FIFO or device named *.LST would block or never end.
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return false;
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (file.bad()) return false;
  list.entries = ParsePlaylist(bytes);
  return true;
}

void ScanFolder(FileList& list, bool findStart) {
  if (list.source == kListPlaylist || list.firstArgument.empty()) return;

  const fs::path folder = StartFolder(list);
  std::string pattern = folder.empty() ? std::string(".") : folder.string();
  if (!pattern.ends_with('/')) pattern += '/';
  pattern += '*';
  Log(pattern, 0);

  std::vector<std::string> names;
  std::error_code ec;
  fs::directory_iterator it(folder.empty() ? fs::path(".") : folder, ec);
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
    std::error_code typeError;
    // Follows links: a link to a file is listed, a link to a folder or a
    // dangling link is not, nor are FIFOs and devices (opening them blocks).
    if (!it->is_regular_file(typeError)) continue;
    names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end(), NameLess);

  std::vector<std::string> entries;
  entries.reserve(names.size());
  for (const std::string& name : names) entries.push_back((folder / name).string());

  if (findStart) {
    const std::string title = fs::path(list.firstArgument).filename().string();
    auto match = std::find(names.begin(), names.end(), title);
    if (match == names.end()) {
      match = std::find_if(names.begin(), names.end(),
                           [&](const std::string& name) { return EqualsIgnoreCase(name, title); });
    }
    if (!title.empty() && match != names.end()) list.index = static_cast<int>(match - names.begin());
  }
  list.entries = std::move(entries);
}

}  // namespace qorve
