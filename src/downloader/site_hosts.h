// Where the downloader finds the archiver libraries: the page host (library
// pages) and the file host (the archives those pages name), both under
// "/archiver/lib/", and the folder the libraries are installed into.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace qorve {

struct SiteHosts {
  std::string pageHost;
  std::string fileHost;

  // Both hosts are known; without either the downloader has nothing to do.
  bool IsConfigured() const { return !pageHost.empty() && !fileHost.empty(); }
};

// The hosts this build was made with (the CMake options
// QORVE_PAKGRAB_PAGE_HOST and QORVE_PAKGRAB_FILE_HOST), empty by default: no
// site is contacted that the user or the builder did not name.
SiteHosts BuiltInSiteHosts();

// PAKGRAB PAGEHOST and PAKGRAB FILEHOST of the per-user settings file, each
// either a host ("example.org", "127.0.0.1:8080") or a URL prefix with its
// scheme ("https://example.org"); the built-in host when missing or empty.
SiteHosts LoadSiteHosts();

// host + "/archiver/lib/" + name; "http://" is put in front of a host
// without a scheme and a trailing "/" of the host is dropped.
std::string SiteUrl(std::string_view host, std::string_view name);

// $XDG_DATA_HOME/qorve/system, where the libraries are installed (not created
// here).
std::filesystem::path LibrarySystemFolder();

}  // namespace qorve
