#include "downloader/site_hosts.h"

#include "common/settings.h"
#include "platform/system/folders.h"
#include "platform/system/profile.h"

namespace qorve {
namespace {

#ifndef QORVE_PAKGRAB_PAGE_HOST
#define QORVE_PAKGRAB_PAGE_HOST ""
#endif
#ifndef QORVE_PAKGRAB_FILE_HOST
#define QORVE_PAKGRAB_FILE_HOST ""
#endif

constexpr const char* kSection = "PAKGRAB";
constexpr std::size_t kHostBytes = 1024;

std::string ReadHost(const char* key, const std::string& fallback) {
  std::string value = GetPrivateProfileString(kSection, key, "", kHostBytes, SettingsFilePath());
  return value.empty() ? fallback : value;
}

}  // namespace

SiteHosts BuiltInSiteHosts() { return SiteHosts{QORVE_PAKGRAB_PAGE_HOST, QORVE_PAKGRAB_FILE_HOST}; }

SiteHosts LoadSiteHosts() {
  const SiteHosts builtIn = BuiltInSiteHosts();
  return SiteHosts{ReadHost("PAGEHOST", builtIn.pageHost), ReadHost("FILEHOST", builtIn.fileHost)};
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
