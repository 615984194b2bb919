// Any bytes as a RAR archive, walked and decoded member by member: RAR 4
// through unarr (with the folder walk over the block heads), RAR 5 through
// libarchive.
#include "member_source_walk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qorve::fuzz::WalkMembers(qorve::archiver::ArchiveFamily::Rar, data, size);
  return 0;
}
