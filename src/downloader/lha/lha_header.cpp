#include "downloader/lha/lha_header.h"

#include <array>
#include <cstring>
#include <vector>

namespace qorve {
namespace {

constexpr std::size_t kFixedBytes = 21;      // bytes common to every level
constexpr std::size_t kLevel2BaseBytes = 26;

enum ExtendedType : uint8_t {
  kExtendedHeaderCrc = 0x00,
  kExtendedFileName = 0x01,
  kExtendedDirectory = 0x02,
  kExtendedAttribute = 0x40,
};

const std::array<uint16_t, 256>& CrcTable() {
  static const std::array<uint16_t, 256> table = [] {
    std::array<uint16_t, 256> t{};
    for (unsigned i = 0; i < 256; ++i) {
      unsigned r = i;
      for (int bit = 0; bit < 8; ++bit) r = (r & 1) ? (r >> 1) ^ 0xA001u : r >> 1;
      t[i] = static_cast<uint16_t>(r);
    }
    return t;
  }();
  return table;
}

uint16_t Word(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Dword(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

std::string SeparatorsToBackslash(const uint8_t* bytes, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(bytes), size);
  for (char& c : text) {
    if (static_cast<uint8_t>(c) == 0xFF) c = '\\';
  }
  return text;
}

// Folds the header bytes into the running CRC and (when `summed`) byte sum.
void Account(LhaHeader& header, std::span<const uint8_t> bytes, bool summed) {
  header.crc = LhaCrc16(header.crc, bytes);
  if (summed) {
    for (uint8_t b : bytes) header.sum = static_cast<uint8_t>(header.sum + b);
  }
}

// What the extended headers of levels 1 and 2 carry.
struct ExtendedFields {
  std::string fileName;
  std::string directory;
  bool haveStoredCrc = false;
  uint16_t storedCrc = 0;
};

// One extended header: type byte, data, and the 2-byte size of the next one
// (which the caller reads). `bytes` is modified: a header CRC field is zeroed
// before the bytes enter the running CRC.
void TakeExtended(LhaHeader& header, std::span<uint8_t> bytes, ExtendedFields& fields) {
  const std::size_t size = bytes.size();
  const std::size_t dataSize = size - 3;
  const uint8_t* data = bytes.data() + 1;
  switch (bytes[0]) {
    case kExtendedHeaderCrc:
      if (size > 4 && !fields.haveStoredCrc) {
        fields.haveStoredCrc = true;
        fields.storedCrc = Word(bytes.data() + 1);
        bytes[1] = 0;
        bytes[2] = 0;
      }
      break;
    case kExtendedFileName:
      fields.fileName = SeparatorsToBackslash(data, std::min(dataSize, kLhaNameBytes));
      break;
    case kExtendedDirectory:
      fields.directory = SeparatorsToBackslash(data, std::min(dataSize, kLhaNameBytes));
      break;
    case kExtendedAttribute:
      if (size > 4) header.attribute = data[0];
      break;
    default:
      break;
  }
  Account(header, bytes, false);
}

}  // namespace

uint16_t LhaCrc16(uint16_t crc, std::span<const uint8_t> bytes) {
  const auto& table = CrcTable();
  for (uint8_t b : bytes) crc = static_cast<uint16_t>((crc >> 8) ^ table[(crc ^ b) & 0xFF]);
  return crc;
}

bool LhaReadHeader(ByteSource& archive, LhaHeader& header) {
  header = LhaHeader{};
  const uint64_t start = archive.Tell();
  std::vector<uint8_t> base(kFixedBytes);
  if (archive.Read(base.data(), kFixedBytes) != kFixedBytes) return false;

  header.level = base[20];
  if (header.level > 2) return false;
  std::size_t baseSize;
  if (header.level == 2) {
    // Bytes 0-1 hold the whole header's size; 0 is the end mark.
    if (Word(base.data()) < kLevel2BaseBytes) return false;
    baseSize = kLevel2BaseBytes;
  } else {
    if (base[0] == 0) return false;  // end of the archive
    baseSize = base[0] + 2u;
    if (baseSize < kFixedBytes) return false;
  }
  if (base[2] != '-' || base[3] != 'l') return false;
  std::memcpy(header.method, base.data() + 2, 5);
  header.method[5] = '\0';
  header.compressedSize = Dword(base.data() + 7);
  header.uncompressedSize = Dword(base.data() + 11);
  header.timeStamp = Dword(base.data() + 15);
  header.attribute = base[19];

  base.resize(baseSize);
  const std::size_t rest = baseSize - kFixedBytes;
  if (archive.Read(base.data() + kFixedBytes, rest) != rest) return false;

  ExtendedFields fields;
  std::size_t nextSize = 0;
  if (header.level == 2) {
    // The whole header (base, extended headers, an optional padding byte) is
    // read at once: its size is known and at most 65535 bytes.
    const std::size_t total = Word(base.data());
    base.resize(total);
    if (archive.Read(base.data() + kLevel2BaseBytes, total - kLevel2BaseBytes) !=
        total - kLevel2BaseBytes) {
      return false;
    }
    Account(header, std::span(base).first(kLevel2BaseBytes), false);
    std::size_t at = kLevel2BaseBytes;
    nextSize = Word(base.data() + kLevel2BaseBytes - 2);
    while (nextSize > 2) {
      if (nextSize > total - at) return false;
      TakeExtended(header, std::span(base).subspan(at, nextSize), fields);
      at += nextSize;
      nextSize = Word(base.data() + at - 2);
    }
    Account(header, std::span(base).subspan(at), false);  // padding
    header.dataOffset = start + total;
  } else {
    header.crc = LhaCrc16(0, base);
    for (std::size_t i = 2; i < baseSize; ++i) header.sum = static_cast<uint8_t>(header.sum + base[i]);
    if (base[1] != header.sum) return false;
    const std::size_t nameSize = base.size() > kFixedBytes ? base[21] : 0;
    if (baseSize < nameSize + 24) return false;
    fields.fileName = SeparatorsToBackslash(base.data() + 22, std::min(nameSize, kLhaNameBytes));
    if (header.level == 1) {
      nextSize = Word(base.data() + baseSize - 2);
      std::vector<uint8_t> extended;
      while (nextSize > 2) {
        if (nextSize > header.compressedSize) return false;
        header.compressedSize -= static_cast<uint32_t>(nextSize);
        extended.resize(nextSize);
        if (archive.Read(extended.data(), nextSize) != nextSize) return false;
        TakeExtended(header, extended, fields);
        nextSize = Word(extended.data() + nextSize - 2);
      }
    }
    header.dataOffset = archive.Tell();
  }

  if (fields.haveStoredCrc && fields.storedCrc != header.crc) return false;
  header.name = fields.directory + fields.fileName;
  if (header.name.size() > kLhaNameBytes) header.name.resize(kLhaNameBytes);
  return true;
}

int64_t LhaFindStart(ByteSource& archive) {
  std::vector<uint8_t> head(kLhaSearchBytes);
  if (!archive.Seek(0)) return -1;
  const std::size_t count = archive.Read(head.data(), head.size());
  if (count < kFixedBytes) return -1;
  LhaHeader header;
  for (std::size_t i = 0; i + kFixedBytes <= count; ++i) {
    if (head[i + 2] != '-' || head[i + 3] != 'l' || (head[i + 4] != 'h' && head[i + 4] != 'z')) continue;
    if (archive.Seek(i) && LhaReadHeader(archive, header)) return static_cast<int64_t>(i);
  }
  return -1;
}

}  // namespace qorve
