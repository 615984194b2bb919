// downloader/lha/: the downloader's own LHA reader.
//
// Takes one named member out of an LHA archive (also a self-extracting one)
// with the program's own reader, before any archiver module is installed.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "downloader/lha/byte_stream.h"
#include "libs/archiver/archive_limits.h"

namespace qorve {

// Opens the output for a member, given its relative path ("/" separated,
// UTF-8, never leaving the output folder); null when it cannot be created.
using LhaOutputOpener = std::function<std::unique_ptr<ByteSink>(const std::filesystem::path& relativePath)>;

// What LhaExtractFrom and LhaExtract return.
constexpr int kLhaNoArchive = 0;  // no header found: nothing done
constexpr int kLhaWalked = 1;     // the archive was walked
// Refused: past its bounds, or a member could not be written whole.
constexpr int kLhaRefused = -1;

// How much one archive may make: bytes written over all its members, and
// members walked (every header counts, wanted or not).
struct LhaBounds {
  uint64_t maxBytes = archiver::kMaxUnpackedBytes;
  uint64_t maxMembers = archiver::kMaxMembers;
};

// Walks the archive from its first header (looked for within its first 64 KB)
// until the end or the first invalid header, and decodes every member whose
// name equals `wantedName` ignoring ASCII case ("\" and "/" count as the same
// separator), unless the name begins with "!", "$" or "%" or would leave the
// output folder (an absolute name, a ".." folder). The output keeps the
// member's folders; its file name is spelled as `wantedName` spells it, so the
// caller finds it under the name it asked for.
// The headers are walked once first: an archive past `bounds` (by the sizes
// its headers give) is refused before anything is written. A member whose
// output fails is abandoned (no truncated file stays) and ends the walk.
int LhaExtractFrom(ByteSource& archive, std::string_view wantedName, const LhaOutputOpener& openOutput,
                   const LhaBounds& bounds = {});

// The same on a file, writing into `outputFolder` (empty: the current folder).
// A member whose folder does not exist there is not written; folders are never
// created. The bytes written also stay within the folder's free space less
// the limits' margin.
int LhaExtract(const std::filesystem::path& archivePath, std::string_view wantedName,
               const std::filesystem::path& outputFolder, const archiver::ArchiveLimits& limits = {});

}  // namespace qorve
