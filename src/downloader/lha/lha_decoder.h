// Decoding of one LHA member's data: "-lh0-" (stored) and the static-Huffman
// LZSS methods "-lh5-", "-lh6-" and "-lh7-".
#pragma once

#include <cstdint>
#include <string_view>

#include "downloader/lha/byte_stream.h"

namespace qorve {

// Whether LhaDecode writes anything for `method` (the four methods above).
bool LhaMethodDecodable(std::string_view method);

// The most bytes LhaDecode writes for a member, known from its header alone.
uint64_t LhaDecodedBytes(std::string_view method, uint32_t compressedSize, uint32_t uncompressedSize);

// Decodes a member whose data start at the source's position into `output`.
// Reads at most `compressedSize` bytes. "-lh0-" copies the compressed bytes;
// the Huffman methods stop once `uncompressedSize` bytes are written, or
// earlier when the data are damaged or run out (what was decoded until then is
// written). Other methods write nothing. The data's CRC is not checked.
// False only when the output refused a write; decoding stops there.
bool LhaDecode(std::string_view method, ByteSource& input, uint32_t compressedSize, ByteSink& output,
               uint32_t uncompressedSize);

}  // namespace qorve
