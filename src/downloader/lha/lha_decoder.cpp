#include "downloader/lha/lha_decoder.h"

#include <algorithm>
#include <array>
#include <vector>

namespace qorve {
namespace {

constexpr int kMaxCodeBits = 16;
constexpr int kCharCodes = 510;  // 256 literals + 254 lengths (3..256)
constexpr int kCharCountBits = 9;
constexpr int kPreCodes = 19;
constexpr int kPreCountBits = 5;
constexpr int kPreSpecialIndex = 3;  // a run of zero lengths may follow the third
constexpr int kMinMatch = 3;
constexpr std::size_t kStoredPiece = 32768;

struct MethodParameters {
  std::string_view name;
  uint32_t windowBytes;
  int positionCodes;
  int positionCountBits;
};

constexpr std::array<MethodParameters, 3> kHuffmanMethods{{
    {"-lh5-", 8192, 14, 4},
    {"-lh6-", 32768, 16, 5},
    {"-lh7-", 65536, 17, 5},
}};

// MSB-first bit reader with a 16-bit look-ahead. It takes at most the member's
// compressed size from the source and then feeds zeros; Overrun() tells when
// more bits were consumed than the member holds (no valid stream does that).
// When the file ends before the compressed size, its end is where the member
// ends: a header claiming gigabytes of data that are not there would otherwise
// have the decoder read zero bits, block after empty block, for minutes.
class BitReader {
 public:
  BitReader(ByteSource& source, uint32_t size) : source_(source), left_(size), limitBits_(uint64_t{size} * 8) {}

  uint32_t Peek(int count) {
    Fill();
    return count == 0 ? 0 : buffer_ >> (32 - count);
  }
  void Skip(int count) {
    Fill();
    buffer_ = count == 32 ? 0 : buffer_ << count;
    held_ -= count;
    consumed_ += static_cast<uint64_t>(count);
  }
  uint32_t Get(int count) {
    const uint32_t value = Peek(count);
    Skip(count);
    return value;
  }
  bool Overrun() const { return consumed_ > limitBits_; }

 private:
  void Fill() {
    while (held_ <= 24) {
      buffer_ |= static_cast<uint32_t>(NextByte()) << (24 - held_);
      held_ += 8;
    }
  }
  uint8_t NextByte() {
    if (at_ == chunkSize_) {
      at_ = 0;
      chunkSize_ = 0;
      if (left_ > 0) {
        chunkSize_ = source_.Read(chunk_.data(), std::min<std::size_t>(chunk_.size(), left_));
        left_ -= static_cast<uint32_t>(chunkSize_);
        if (chunkSize_ == 0) {  // the file ended early
          limitBits_ -= uint64_t{left_} * 8;
          left_ = 0;
        }
      }
      if (chunkSize_ == 0) return 0;
    }
    return chunk_[at_++];
  }

  ByteSource& source_;
  uint32_t left_;
  uint64_t limitBits_;
  uint64_t consumed_ = 0;
  uint32_t buffer_ = 0;  // look-ahead, MSB-aligned
  int held_ = 0;         // valid bits in buffer_
  std::array<uint8_t, 4096> chunk_{};
  std::size_t chunkSize_ = 0;
  std::size_t at_ = 0;
};

// A canonical Huffman code as LHA assigns it: shorter codes first, symbols of
// equal length in increasing order. A code sent as a single symbol takes no
// bits. Incomplete codes are accepted (an unassigned code is a decode error);
// over-subscribed ones are not.
class HuffmanCode {
 public:
  void SetSingle(int symbol) {
    single_ = symbol;
  }
  // False when the lengths cannot form a prefix code.
  bool SetLengths(const uint8_t* lengths, int count) {
    single_ = -1;
    counts_.fill(0);
    for (int i = 0; i < count; ++i) {
      if (lengths[i] > kMaxCodeBits) return false;
      ++counts_[lengths[i]];
    }
    counts_[0] = 0;
    int left = 1;
    for (int bits = 1; bits <= kMaxCodeBits; ++bits) {
      left = (left << 1) - counts_[bits];
      if (left < 0) return false;
    }
    std::array<int, kMaxCodeBits + 2> offset{};
    for (int bits = 1; bits <= kMaxCodeBits; ++bits) offset[bits + 1] = offset[bits] + counts_[bits];
    for (int i = 0; i < count; ++i) {
      if (lengths[i] != 0) symbols_[offset[lengths[i]]++] = static_cast<uint16_t>(i);
    }
    return true;
  }
  // The next symbol, or -1 for a code that is not assigned.
  int Decode(BitReader& bits) const {
    if (single_ >= 0) return single_;
    const uint32_t lookAhead = bits.Peek(kMaxCodeBits);
    int code = 0;
    int first = 0;
    int index = 0;
    for (int length = 1; length <= kMaxCodeBits; ++length) {
      code |= static_cast<int>((lookAhead >> (kMaxCodeBits - length)) & 1);
      const int count = counts_[length];
      if (code - first < count) {
        bits.Skip(length);
        return symbols_[index + code - first];
      }
      index += count;
      first = (first + count) << 1;
      code <<= 1;
    }
    return -1;
  }

 private:
  int single_ = -1;
  std::array<int, kMaxCodeBits + 1> counts_{};
  std::array<uint16_t, kCharCodes> symbols_{};
};

class HuffmanDecoder {
 public:
  HuffmanDecoder(const MethodParameters& method, BitReader& bits) : method_(method), bits_(bits) {}

  // Next literal (0..255) or length code (256..509); -1 when the stream is
  // damaged or exhausted.
  int NextSymbol() {
    while (blockRemaining_ == 0) {
      if (bits_.Overrun() || !ReadBlockHeader()) return -1;
    }
    --blockRemaining_;
    const int symbol = charCode_.Decode(bits_);
    return bits_.Overrun() ? -1 : symbol;
  }
  // Distance - 1 of a copy; -1 when damaged.
  int NextDistance() {
    int code = positionCode_.Decode(bits_);
    if (code > 1) code = (1 << (code - 1)) + static_cast<int>(bits_.Get(code - 1));
    return bits_.Overrun() ? -1 : code;
  }

 private:
  bool ReadBlockHeader() {
    blockRemaining_ = bits_.Get(16);
    return ReadLengthCode(preCode_, kPreCodes, kPreCountBits, kPreSpecialIndex) && ReadCharCode() &&
           ReadLengthCode(positionCode_, method_.positionCodes, method_.positionCountBits, -1);
  }

  // Lengths written as 3-bit numbers, 7 extended by a run of 1 bits.
  bool ReadLengthCode(HuffmanCode& code, int symbols, int countBits, int specialIndex) {
    const int count = static_cast<int>(bits_.Get(countBits));
    if (count == 0) {
      const int only = static_cast<int>(bits_.Get(countBits));
      if (only >= symbols) return false;
      code.SetSingle(only);
      return true;
    }
    if (count > symbols) return false;
    std::array<uint8_t, 32> lengths{};
    int i = 0;
    while (i < count) {
      int length = static_cast<int>(bits_.Peek(3));
      if (length == 7) {
        uint32_t mask = 1u << 12;
        const uint32_t lookAhead = bits_.Peek(16);
        while (mask != 0 && (lookAhead & mask)) {
          mask >>= 1;
          ++length;
        }
        if (length > kMaxCodeBits) return false;
      }
      bits_.Skip(length < 7 ? 3 : length - 3);
      lengths[i++] = static_cast<uint8_t>(length);
      if (i == specialIndex) {
        const int zeros = static_cast<int>(bits_.Get(2));
        if (i + zeros > symbols) return false;
        i += zeros;  // lengths[] is zero there already
      }
    }
    return !bits_.Overrun() && code.SetLengths(lengths.data(), symbols);
  }

  bool ReadCharCode() {
    const int count = static_cast<int>(bits_.Get(kCharCountBits));
    if (count == 0) {
      const int only = static_cast<int>(bits_.Get(kCharCountBits));
      if (only >= kCharCodes) return false;
      charCode_.SetSingle(only);
      return true;
    }
    if (count > kCharCodes) return false;
    std::array<uint8_t, kCharCodes> lengths{};
    int i = 0;
    while (i < count) {
      const int c = preCode_.Decode(bits_);
      if (c < 0 || bits_.Overrun()) return false;
      if (c <= 2) {
        const int zeros = c == 0 ? 1 : c == 1 ? static_cast<int>(bits_.Get(4)) + 3
                                               : static_cast<int>(bits_.Get(kCharCountBits)) + 20;
        if (i + zeros > kCharCodes) return false;
        i += zeros;
      } else {
        lengths[i++] = static_cast<uint8_t>(c - 2);
      }
    }
    return !bits_.Overrun() && charCode_.SetLengths(lengths.data(), kCharCodes);
  }

  const MethodParameters& method_;
  BitReader& bits_;
  uint32_t blockRemaining_ = 0;
  HuffmanCode preCode_;
  HuffmanCode charCode_;
  HuffmanCode positionCode_;
};

bool CopyStored(ByteSource& input, uint32_t compressedSize, ByteSink& output) {
  std::vector<uint8_t> piece(kStoredPiece);
  uint32_t left = compressedSize;
  while (left > 0) {
    const std::size_t got = input.Read(piece.data(), std::min<std::size_t>(piece.size(), left));
    if (got == 0) break;
    if (!output.Write(piece.data(), got)) return false;
    left -= static_cast<uint32_t>(got);
  }
  return true;
}

bool DecodeHuffman(const MethodParameters& method, ByteSource& input, uint32_t compressedSize, ByteSink& output,
                   uint32_t uncompressedSize) {
  std::vector<uint8_t> window(method.windowBytes, 0x20);
  const uint32_t mask = method.windowBytes - 1;
  uint32_t at = 0;  // next write position in the window
  uint32_t produced = 0;
  bool writable = true;
  auto put = [&](uint8_t byte) {
    window[at++] = byte;
    ++produced;
    if (at == method.windowBytes) {
      writable = output.Write(window.data(), at);
      at = 0;
    }
  };

  BitReader bits(input, compressedSize);
  HuffmanDecoder decoder(method, bits);
  while (produced < uncompressedSize && writable) {
    const int symbol = decoder.NextSymbol();
    if (symbol < 0) break;
    if (symbol < 256) {
      put(static_cast<uint8_t>(symbol));
      continue;
    }
    const int distance = decoder.NextDistance();
    if (distance < 0) break;
    uint32_t length = static_cast<uint32_t>(symbol - 256 + kMinMatch);
    length = std::min(length, uncompressedSize - produced);
    uint32_t from = (at - static_cast<uint32_t>(distance) - 1) & mask;
    for (uint32_t i = 0; i < length && writable; ++i) {
      put(window[from]);
      from = (from + 1) & mask;
    }
  }
  if (writable && at > 0) writable = output.Write(window.data(), at);
  return writable;
}

}  // namespace

bool LhaMethodDecodable(std::string_view method) {
  if (method == "-lh0-") return true;
  return std::any_of(kHuffmanMethods.begin(), kHuffmanMethods.end(),
                     [&](const MethodParameters& m) { return m.name == method; });
}

uint64_t LhaDecodedBytes(std::string_view method, uint32_t compressedSize, uint32_t uncompressedSize) {
  if (method == "-lh0-") return compressedSize;
  return LhaMethodDecodable(method) ? uncompressedSize : 0;
}

bool LhaDecode(std::string_view method, ByteSource& input, uint32_t compressedSize, ByteSink& output,
               uint32_t uncompressedSize) {
  if (method == "-lh0-") return CopyStored(input, compressedSize, output);
  for (const MethodParameters& m : kHuffmanMethods) {
    if (m.name == method) return DecodeHuffman(m, input, compressedSize, output, uncompressedSize);
  }
  return true;
}

}  // namespace qorve
