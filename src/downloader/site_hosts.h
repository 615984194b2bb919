// Where the downloader finds the archiver libraries: the page host (library
// pages) and the file host (the archives those pages name), both under
// "/archiver/lib/", and the folder the libraries are installed into.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace qorve {

// Defaults used when the settings file names no host.
constexpr const char* kDefaultPageHost = "http://www.csdinc.co.jp";
constexpr const char* kDefaultFileHost = "http://www.csdinc.co.jp";

struct SiteHosts {
  std::string pageHost;
  std::string fileHost;
};

// PAKGRAB PAGEHOST and PAKGRAB FILEHOST of the per-user settings file, each
// either a host ("example.org", "127.0.0.1:8080") or a URL prefix with its
// scheme ("https://example.org"); the defaults above when missing or empty.
SiteHosts LoadSiteHosts();

// host + "/archiver/lib/" + name; "http://" is put in front of a host
// without a scheme and a trailing "/" of the host is dropped.
std::string SiteUrl(std::string_view host, std::string_view name);

// $XDG_DATA_HOME/qorve/system, where the libraries are installed (not created
// here).
std::filesystem::path LibrarySystemFolder();

}  // namespace qorve
