// Any bytes as an LHA archive (also after a self-extractor's program), walked
// and decoded member by member through liblhasa.
#include "member_source_walk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qorve::fuzz::WalkMembers(qorve::archiver::ArchiveFamily::Lha, data, size);
  return 0;
}
