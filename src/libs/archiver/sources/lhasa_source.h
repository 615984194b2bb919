// The members of LHA/LZH archives, also self-extracting ones, read by
// liblhasa.
#pragma once

#include "libs/archiver/sources/member_source.h"

namespace qorve::archiver {

// Null when no LHA header is found (liblhasa also looks past a
// self-extractor's program for the first one).
std::unique_ptr<MemberSource> OpenLhasaSource(const std::string& path);

}  // namespace qorve::archiver
