// Any bytes as a cabinet (also inside a self-extractor), walked and decoded
// member by member through libmspack: MSZIP, LZX, Quantum and stored folders.
#include "member_source_walk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qorve::fuzz::WalkMembers(qorve::archiver::ArchiveFamily::Cab, data, size);
  return 0;
}
