// LHA archive headers: the header CRC-16, the search for the first header of
// an archive (also inside a self-extracting program) and the reading of one
// member header of level 0, 1 or 2.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "downloader/lha/byte_stream.h"

namespace qorve {

// How far into a file the first header is looked for.
constexpr std::size_t kLhaSearchBytes = 65536;
// Longest member name kept (directory + file name), in bytes.
constexpr std::size_t kLhaNameBytes = 260;

// The reflected CRC-16 of LHA headers (polynomial 0xA001), continued from `crc`.
uint16_t LhaCrc16(uint16_t crc, std::span<const uint8_t> bytes);

struct LhaHeader {
  uint16_t crc = 0;  // running CRC-16 over the header bytes read
  uint8_t sum = 0;   // running byte sum (levels 0 and 1: bytes 2 onwards)
  int level = 0;
  char method[6] = {};  // "-lh5-" and a terminator
  uint32_t compressedSize = 0;    // the member's data only (level 1: extended headers taken off)
  uint32_t uncompressedSize = 0;
  uint32_t timeStamp = 0;
  uint8_t attribute = 0;
  // Directory + file name as stored, with "\" between folders; raw bytes
  // (CP932 or UTF-8), at most kLhaNameBytes.
  std::string name;
  // Offset in the archive where the member's data begin.
  uint64_t dataOffset = 0;
};

// Reads the header at the source's position. True with `header` filled; false
// at the end of the archive or on any invalid or damaged header. The position
// afterwards is unspecified; continue at dataOffset + compressedSize.
bool LhaReadHeader(ByteSource& archive, LhaHeader& header);

// Offset of the first valid header within the first kLhaSearchBytes bytes of
// the archive, or -1 when there is none.
int64_t LhaFindStart(ByteSource& archive);

}  // namespace qorve
