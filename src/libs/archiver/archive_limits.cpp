#include "archive_limits.h"

#include <sys/statvfs.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace qorve::archiver {

uint64_t FreeBytesAt(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::path folder = fs::absolute(path.empty() ? fs::path(".") : fs::path(path), ec);
  if (ec) return UINT64_MAX;
  // The destination is usually made by the unpacking itself.
  while (!fs::exists(folder, ec) && folder.has_relative_path()) folder = folder.parent_path();
  struct statvfs info;
  if (statvfs(folder.c_str(), &info) != 0) return UINT64_MAX;
  const uint64_t blockSize = info.f_frsize != 0 ? info.f_frsize : info.f_bsize;
  if (blockSize != 0 && info.f_bavail > UINT64_MAX / blockSize) return UINT64_MAX;
  return static_cast<uint64_t>(info.f_bavail) * blockSize;
}

uint64_t ByteBudget(const ArchiveLimits& limits, const std::string& destination) {
  const uint64_t free = FreeBytesAt(destination);
  const uint64_t usable = free > limits.freeSpaceMargin ? free - limits.freeSpaceMargin : 0;
  return std::min(limits.maxBytes, usable);
}

}  // namespace qorve::archiver
