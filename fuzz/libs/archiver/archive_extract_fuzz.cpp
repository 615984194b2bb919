// Any bytes as an archive of every module's formats: listing, checking and
// unpacking never crash, stay within the limits, and leave nothing outside the
// destination folder: nothing beside it, no link inside it that leads out, no
// half-written member.
#include "libs/archiver/archive_reader.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

namespace {

namespace fs = std::filesystem;

// Small enough that an input passing them is found quickly, large enough for
// every seed.
constexpr uint64_t kFuzzMaxBytes = uint64_t{8} << 20;
constexpr uint64_t kFuzzMaxMembers = 50;

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

bool Inside(const fs::path& path, const fs::path& folder) {
  const std::string text = path.string();
  const std::string prefix = folder.string();
  return text == prefix || (text.starts_with(prefix) && text[prefix.size()] == '/');
}

// Aborts when a link below `destination`, followed as the kernel follows it,
// leads out of it, when a temporary member file was left, or when more bytes
// were written than the limit allows.
void CheckUnpacked(const fs::path& destination) {
  std::error_code ec;
  if (!fs::exists(destination, ec)) return;
  const fs::path root = fs::canonical(destination);
  uint64_t bytes = 0;
  std::set<ino_t> files;  // hard links share their bytes
  for (auto it = fs::recursive_directory_iterator(destination, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    if (it->path().filename().string().starts_with(".qorve-")) std::abort();
    struct stat info;
    if (lstat(it->path().c_str(), &info) != 0) continue;
    if (S_ISLNK(info.st_mode)) {
      const fs::path resolved = fs::weakly_canonical(it->path().parent_path() / fs::read_symlink(it->path()), ec);
      if (!ec && !Inside(resolved, root)) std::abort();
      ec.clear();
    } else if (S_ISREG(info.st_mode) && files.insert(info.st_ino).second) {
      bytes += static_cast<uint64_t>(info.st_size);
    }
  }
  if (bytes > kFuzzMaxBytes) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using qorve::archiver::ArchiveFamily;
  const fs::path archive = Workspace() / "input.bin";
  const fs::path destination = Workspace() / "box" / "out";
  std::ofstream(archive, std::ios::binary).write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  qorve::archiver::ArchiveLimits limits;
  limits.maxBytes = kFuzzMaxBytes;
  limits.maxMembers = kFuzzMaxMembers;
  for (ArchiveFamily family : {ArchiveFamily::Lha, ArchiveFamily::Zip, ArchiveFamily::Rar, ArchiveFamily::Cab,
                               ArchiveFamily::Tar}) {
    qorve::archiver::ArchiveIsReadable(family, archive.string());
    const auto listing =
        qorve::archiver::ListArchive(family, archive.string(), qorve::archiver::ListingDepth::Sizes, limits);
    if (listing.bytes > kFuzzMaxBytes && !listing.overLimit) std::abort();
    qorve::archiver::ExtractRequest request;
    request.archive = archive.string();
    request.destination = destination.string();
    request.limits = limits;
    qorve::archiver::ExtractArchive(family, request);
    // Only the destination may have appeared in its parent folder.
    const auto entries = std::distance(fs::directory_iterator(destination.parent_path()), fs::directory_iterator());
    if (entries > 1) std::abort();
    CheckUnpacked(destination);
    fs::remove_all(destination);
  }
  return 0;
}
