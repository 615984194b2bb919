// MioBitReader: the most-significant-bit-first reader over one chunk's
// bitstream, and the interleaved gamma code the MIO coders use.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qorve::mio {

class MioBitReader {
 public:
  MioBitReader(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  // One bit. Past the data the stream reads as zeros: up to the next multiple
  // of four bytes that is the writer's padding, beyond it the reader is
  // marked overrun (the chunk is corrupt).
  uint32_t Bit() {
    if ((position_ >> 3) >= size_) {
      if ((position_ >> 3) >= PaddedSize()) overrun_ = true;
      ++position_;
      return 0;
    }
    const uint32_t bit = (data_[position_ >> 3] >> (7 - (position_ & 7))) & 1u;
    ++position_;
    return bit;
  }

  // `count` bits (0..32), the first read the most significant.
  uint32_t Bits(int count) {
    uint32_t value = 0;
    while (count > 0 && (position_ & 7) != 0) {
      value = (value << 1) | Bit();
      --count;
    }
    while (count >= 8 && (position_ >> 3) < size_) {
      value = (value << 8) | data_[position_ >> 3];
      position_ += 8;
      count -= 8;
    }
    while (count > 0) {
      value = (value << 1) | Bit();
      --count;
    }
    return value;
  }

  // A positive integer in the gamma code: "0" is 1; otherwise a 1 and the
  // value's lower bits, each followed by a continuation bit. 0 when the code
  // runs past 32 bits or past the data (both mean corrupt data).
  uint32_t Gamma() {
    if (Bit() == 0) return overrun_ ? 0 : 1;
    uint32_t value = 0;
    uint32_t base = 2;
    for (int length = 0; length < 31; ++length) {
      value = (value << 1) | Bit();
      if (Bit() == 0) return overrun_ ? 0 : value + base;
      base <<= 1;
    }
    return 0;
  }

  bool Overrun() const { return overrun_; }
  // True once every bit up to the writer's padding has been read.
  bool AtEnd() const { return (position_ >> 3) >= PaddedSize(); }
  std::size_t BitPosition() const { return position_; }

 private:
  std::size_t PaddedSize() const { return (size_ + 3) & ~static_cast<std::size_t>(3); }

  const uint8_t* data_;
  std::size_t size_;
  std::size_t position_ = 0;
  bool overrun_ = false;
};

}  // namespace qorve::mio
