// Reading one archive, limited to the formats of one module, and the three
// things the modules do with it: list it, check it and unpack it, always
// within the bounds of archive_limits.h. Each format's library reads the
// members (sources/member_source.h); every rule about what may be written,
// and where, is kept here.
#pragma once

#include "archive_limits.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qorve::archiver {

// The formats one module reads: LHA through liblhasa, cabinets through
// libmspack, RAR 4 through unarr, the others through libarchive. Tar also reads a single gzip-,
// bzip2- or xz-compressed file that holds no tar archive.
enum class ArchiveFamily { Lha, Zip, Rar, Cab, Tar };

enum class ListingDepth {
  // Headers only, member data skipped by seeking. Where the next header can
  // only be reached by decoding (a compressed stream such as tar.gz or a
  // single .gz, a RAR archive that may be solid), only the first header is
  // read: those archives are bounded while they are unpacked.
  Headers,
  // Every header, and the data of a member whose header gives no size (a
  // single compressed file) decoded and counted, up to the byte limit.
  Sizes,
};

struct ArchiveListing {
  bool opened = false;     // the file is one of the family's formats
  bool complete = false;   // every header was read (or the first, where Headers stops there)
  bool overLimit = false;  // members or bytes passed the limits; the listing stopped there
  bool sizesKnown = true;  // false when a member's size is in no header (Headers only)
  std::string format;      // "LHA", "ZIP", "RAR", "RAR5", "CAB", "TAR", "TAR.GZ", "GZ", ...
  uint64_t members = 0;    // files, folders and links
  uint64_t bytes = 0;      // unpacked bytes of the files counted
  std::string problem;     // why the listing is incomplete or over the limits
};

ArchiveListing ListArchive(ArchiveFamily family, const std::string& path, ListingDepth depth,
                           const ArchiveLimits& limits = {});

// True when the file is an archive of the family whose headers all read. The
// members' data is not decoded here: a member that turns out broken stops the
// unpacking instead (ExtractReport::archiveRead).
bool ArchiveIsReadable(ArchiveFamily family, const std::string& path);

struct ExtractRequest {
  std::string archive;
  std::string destination;        // created when missing; "" = current folder
  bool keepFolders = true;        // false: every member lands in the destination itself
  std::vector<std::string> patterns;  // matched against base names; empty = all
  ArchiveLimits limits;
};

struct ExtractReport {
  bool archiveOpened = false;  // the archive is one of the family's formats
  bool archiveRead = false;   // the archive opened and was read to its end
  bool destinationOk = false;  // the destination folder could be opened
  bool overLimit = false;     // refused or stopped at the limits (firstProblem says which)
  int written = 0;            // files, folders and links made
  int refused = 0;            // members left out as unsafe (names leaving the folder, links out, devices)
  int failed = 0;             // members that could not be written
  std::string firstProblem;   // name or reason of the first member refused or failed
};

// Decodes every member once. Before anything is written, the headers (where
// they can be read without decoding) are held against the limits and against
// the free space at the destination; while writing, the members and bytes
// actually decoded are held against them too. A member is written under a
// temporary name and appears only once it decoded whole. Symbolic links are
// made after every other member, each only when its target stays inside.
ExtractReport ExtractArchive(ArchiveFamily family, const ExtractRequest& request);

}  // namespace qorve::archiver
