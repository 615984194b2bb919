// The members of ZIP, RAR, tar and single compressed files, read by
// libarchive.
#pragma once

#include "libs/archiver/sources/member_source.h"

namespace qorve::archiver {

// Zip, Rar and Tar only (null for the other families). Tar also reads a
// single gzip-, bzip2-, xz- or compress-packed file that holds no tar
// archive: its one member is named after the archive without that ending.
std::unique_ptr<MemberSource> OpenLibarchiveSource(ArchiveFamily family, const std::string& path);

}  // namespace qorve::archiver
