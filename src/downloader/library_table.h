// The twelve archiver libraries the downloader installs, in the order it
// processes them, with the texts it shows for each.
#pragma once

#include <span>

namespace qorve {

enum class LibraryKind {
  kArchive = 0,     // unpacked by the UNZIP32 or UNLHA32 module
  kCabinet = 1,     // a cabinet inside a self-extracting program
  kBuiltInLha = 2,  // taken out by the downloader's own LHA reader
};

struct LibraryEntry {
  const char* page;         // page name on the distribution site
  const char* name;         // name used in the status texts
  LibraryKind kind;
  const char* failureText;  // text of the box shown when its installation fails
};

std::span<const LibraryEntry> LibraryTable();

}  // namespace qorve
