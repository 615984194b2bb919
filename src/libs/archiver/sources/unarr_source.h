// The members of RAR 4 archives (and older), read by unarr, whose decoder
// reads every LZSS and PPMd block of them right.
#pragma once

#include "libs/archiver/sources/member_source.h"

namespace qorve::archiver {

// Null when unarr does not take the file: RAR 5, a self-extracting archive,
// anything else. Those are read by libarchive.
std::unique_ptr<MemberSource> OpenUnarrSource(const std::string& path);

}  // namespace qorve::archiver
