// Any bytes as an archive of every module's formats: checking and unpacking
// never crash, and nothing is written beside the destination folder.
#include "libs/archiver/archive_reader.h"

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

namespace fs = std::filesystem;

const fs::path& Workspace() {
  static const fs::path folder = [] {
    std::string pattern = (fs::temp_directory_path() / "archive-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    fs::create_directories(fs::path(pattern) / "box");
    return fs::path(pattern);
  }();
  static const bool removedAtExit = [] {
    std::atexit([] {
      std::error_code ignored;
      fs::remove_all(Workspace(), ignored);
    });
    return true;
  }();
  (void)removedAtExit;
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using qorve::archiver::ArchiveFamily;
  const fs::path archive = Workspace() / "input.bin";
  const fs::path destination = Workspace() / "box" / "out";
  std::ofstream(archive, std::ios::binary).write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  for (ArchiveFamily family : {ArchiveFamily::Lha, ArchiveFamily::Zip, ArchiveFamily::Rar, ArchiveFamily::Cab,
                               ArchiveFamily::Tar}) {
    qorve::archiver::ArchiveIsReadable(family, archive.string());
    qorve::archiver::ExtractRequest request;
    request.archive = archive.string();
    request.destination = destination.string();
    qorve::archiver::ExtractArchive(family, request);
    // Only the destination may have appeared in its parent folder.
    const auto entries = std::distance(fs::directory_iterator(destination.parent_path()), fs::directory_iterator());
    if (entries > 1) std::abort();
    fs::remove_all(destination);
  }
  return 0;
}
