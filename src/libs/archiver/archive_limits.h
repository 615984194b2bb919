// The bounds every archiver module keeps for one archive, whatever its format:
// how many members, how many unpacked bytes, and how much of the disk's free
// space it may take. An archive past them is refused, not cut short quietly.
#pragma once

#include <cstdint>
#include <string>

namespace qorve::archiver {

// No archive a person unpacks by hand comes near these; bombs pass them at once.
constexpr uint64_t kMaxUnpackedBytes = uint64_t{4} << 30;  // 4 GiB
constexpr uint64_t kMaxMembers = 100000;                   // files, folders and links together
// Room left on the destination's file system, so that an archive that fits
// still leaves the desktop usable.
constexpr uint64_t kFreeSpaceMargin = uint64_t{256} << 20;  // 256 MiB

struct ArchiveLimits {
  uint64_t maxBytes = kMaxUnpackedBytes;
  uint64_t maxMembers = kMaxMembers;
  uint64_t freeSpaceMargin = kFreeSpaceMargin;
};

// Bytes an unprivileged user may still write on the file system of `path`, or
// of its nearest existing folder above ("" = the current folder); UINT64_MAX
// when that cannot be told.
uint64_t FreeBytesAt(const std::string& path);

// The unpacked bytes an archive may write into `destination`: the limit, and
// never more than the free space there less the margin.
uint64_t ByteBudget(const ArchiveLimits& limits, const std::string& destination);

}  // namespace qorve::archiver
