// LHA members built byte by byte for the cases no archiver writes: headers
// with chosen sizes and names, and "-lh5-" data that expand without bound.
#pragma once

#include <cstdint>
#include <string>

namespace qorve::test {

// A level-0 member with a correct byte sum; `data` follow as given. The
// uncompressed size is the data's size unless `uncompressedSize` names one.
std::string Level0Member(const std::string& name, const std::string& method, const std::string& data,
                         int64_t uncompressedSize = -1);

// "-lh5-" data in which every block codes each symbol with no bits at all: a
// copy of 256 bytes from one back, 65535 times a block. About 7 bytes a block
// give 16 MiB; enough blocks follow for `bytes`.
std::string ZeroBitLh5Data(uint64_t bytes);

// A member named `name` whose "-lh5-" data expand to `bytes` spaces.
std::string Lh5SpacesMember(const std::string& name, uint32_t bytes);

}  // namespace qorve::test
