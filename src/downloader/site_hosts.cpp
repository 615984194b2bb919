#include "downloader/site_hosts.h"

#include "common/settings.h"
#include "platform/folders.h"
#include "platform/profile.h"

namespace qorve {
namespace {

constexpr const char* kSection = "PAKGRAB";
constexpr std::size_t kHostBytes = 1024;

std::string ReadHost(const char* key, const char* fallback) {
  std::string value = GetPrivateProfileString(kSection, key, "", kHostBytes, SettingsFilePath());
  return value.empty() ? fallback : value;
}

}  // namespace

SiteHosts LoadSiteHosts() {
  return SiteHosts{ReadHost("PAGEHOST", kDefaultPageHost), ReadHost("FILEHOST", kDefaultFileHost)};
}

std::string SiteUrl(std::string_view host, std::string_view name) {
  std::string url = host.find("://") == std::string_view::npos ? "http://" : "";
  url += host;
  while (url.size() > 1 && url.back() == '/') url.pop_back();
  url += "/archiver/lib/";
  url += name;
  return url;
}

std::filesystem::path LibrarySystemFolder() { return DataHomeFolder() / "qorve" / "system"; }

}  // namespace qorve
