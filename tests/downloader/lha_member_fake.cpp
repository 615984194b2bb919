#include "lha_member_fake.h"

namespace qorve::test {
namespace {

// MSB-first, as the LHA decoders read their bits.
class BitWriter {
 public:
  void Put(uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i) {
      byte_ = static_cast<uint8_t>((byte_ << 1) | ((value >> i) & 1));
      if (++held_ == 8) {
        bytes_ += static_cast<char>(byte_);
        byte_ = 0;
        held_ = 0;
      }
    }
  }
  std::string Finish() {
    if (held_ > 0) Put(0, 8 - held_);
    return bytes_;
  }

 private:
  std::string bytes_;
  uint8_t byte_ = 0;
  int held_ = 0;
};

}  // namespace

std::string Level0Member(const std::string& name, const std::string& method, const std::string& data,
                         int64_t uncompressedSize) {
  std::string h(22, '\0');
  h.replace(2, 5, method);
  auto dword = [&](std::size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) h[at + i] = static_cast<char>(v >> (8 * i));
  };
  dword(7, static_cast<uint32_t>(data.size()));
  dword(11, static_cast<uint32_t>(uncompressedSize < 0 ? static_cast<int64_t>(data.size()) : uncompressedSize));
  h[19] = 0x20;
  h[21] = static_cast<char>(name.size());
  h += name;
  h += std::string(2, '\0');  // data CRC, not checked
  h[0] = static_cast<char>(h.size() - 2);
  uint8_t sum = 0;
  for (std::size_t i = 2; i < h.size(); ++i) sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(h[i]));
  h[1] = static_cast<char>(sum);
  return h + data;
}

std::string ZeroBitLh5Data(uint64_t bytes) {
  constexpr uint64_t kSymbolsPerBlock = 65535;
  constexpr uint64_t kBytesPerBlock = kSymbolsPerBlock * 256;
  BitWriter bits;
  for (uint64_t made = 0; made < bytes; made += kBytesPerBlock) {
    bits.Put(kSymbolsPerBlock, 16);
    bits.Put(0, 5);    // pre-code: a single symbol ...
    bits.Put(0, 5);    // ... unused, as the next code is single too
    bits.Put(0, 9);    // character-and-length code: a single symbol ...
    bits.Put(509, 9);  // ... the longest copy, 256 bytes
    bits.Put(0, 4);    // position code: a single symbol ...
    bits.Put(0, 4);    // ... distance 1
  }
  return bits.Finish();
}

std::string Lh5SpacesMember(const std::string& name, uint32_t bytes) {
  return Level0Member(name, "-lh5-", ZeroBitLh5Data(bytes), bytes);
}

}  // namespace qorve::test
