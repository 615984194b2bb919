// MioFile: the source an MIO decoder reads, the whole file held in memory
// (MIO is compressed: minutes of sound take a few megabytes).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace qorve::mio {

class MioFile {
 public:
  // Largest file taken (a guard against reading devices or huge files).
  static constexpr std::uintmax_t kMaxBytes = std::uintmax_t{1} << 30;

  // Reads the regular file at `path`. False when it cannot be read or is
  // larger than kMaxBytes.
  bool Open(const std::string& path);
  // Takes bytes already in memory.
  void OpenBytes(std::vector<uint8_t> bytes);
  void Close();
  bool IsOpen() const { return open_; }
  std::span<const uint8_t> Bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  bool open_ = false;
};

}  // namespace qorve::mio
