// Random-access reading of a Monkey's Audio file: the header and tag parsers
// read through this, so that they work the same on a file and on bytes in
// memory (the fuzz targets).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace monkeys_audio {

class ByteReader {
 public:
  virtual ~ByteReader() = default;
  // Copies up to `count` bytes from `offset`; returns how many were there.
  virtual std::size_t ReadAt(uint64_t offset, void* out, std::size_t count) = 0;
  virtual uint64_t Size() const = 0;

  // True when all `count` bytes were there.
  bool ReadExact(uint64_t offset, void* out, std::size_t count) { return ReadAt(offset, out, count) == count; }
};

class MemoryReader final : public ByteReader {
 public:
  explicit MemoryReader(std::string_view bytes) : bytes_(bytes) {}
  std::size_t ReadAt(uint64_t offset, void* out, std::size_t count) override;
  uint64_t Size() const override { return bytes_.size(); }

 private:
  std::string_view bytes_;
};

// Owns the FILE; its size is taken once, at opening.
class FileReader final : public ByteReader {
 public:
  FileReader() = default;
  ~FileReader() override;
  FileReader(const FileReader&) = delete;
  FileReader& operator=(const FileReader&) = delete;

  // False when the path is not a readable regular file.
  bool Open(const std::string& path);
  std::size_t ReadAt(uint64_t offset, void* out, std::size_t count) override;
  uint64_t Size() const override { return size_; }

 private:
  std::FILE* file_ = nullptr;
  uint64_t size_ = 0;
};

inline uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace monkeys_audio
