#include "downloader/find_latest_file.h"

#include <fstream>
#include <vector>

#include "platform/system/text.h"

namespace qorve {
namespace {

bool IsAsciiAlphanumeric(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

}  // namespace

std::optional<std::string> ParseLatestFileName(std::string_view page) {
  page = page.substr(0, kPageSearchBytes);
  const std::size_t marker = page.find("File:");
  if (marker == std::string_view::npos) return std::nullopt;
  const std::size_t begin = marker + 5;
  const std::size_t end = page.find(']', begin);
  if (end == std::string_view::npos) return std::nullopt;
  std::string_view name = page.substr(begin, end - begin);
  if (name.size() > kLatestNameMax) return std::nullopt;
  while (!name.empty() && (name.front() == ' ' || name.front() == '\t')) name.remove_prefix(1);
  while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
  if (name.empty() || !IsAsciiAlphanumeric(name.front())) return std::nullopt;
  for (char c : name) {
    if (!IsAsciiAlphanumeric(c) && c != '.' && c != '_' && c != '-') return std::nullopt;
  }
  // The downloader's own working files may not be overwritten by a download.
  for (const char* own : {"ARC.HTML", "CAB32.CAB", "CAB32.DLL", "UNLHA32.DLL"}) {
    if (EqualsIgnoreCase(name, own)) return std::nullopt;
  }
  return std::string(name);
}

int FindLatestFile(const InternetHandle* handle, const std::string& pageUrl, const std::filesystem::path& workFolder,
                   std::string& fileName, const std::atomic<bool>* cancel) {
  const std::filesystem::path page = workFolder / "ARC.HTML";
  if (DownloadFile(handle, pageUrl, page, nullptr, nullptr, cancel, kPageDownloadLimit) != kDownloadDone) return -1;
  std::vector<char> bytes(kPageSearchBytes);
  std::size_t count = 0;
  {
    std::ifstream in(page, std::ios::binary);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    count = static_cast<std::size_t>(in.gcount());
  }
  std::error_code ignored;
  std::filesystem::remove(page, ignored);
  const auto name = ParseLatestFileName(std::string_view(bytes.data(), count));
  if (!name) return -1;
  fileName = *name;
  return 0;
}

}  // namespace qorve
