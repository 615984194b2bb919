#include "byte_reader.h"

#include <algorithm>
#include <cstring>
#include <sys/stat.h>

namespace monkeys_audio {

std::size_t MemoryReader::ReadAt(uint64_t offset, void* out, std::size_t count) {
  if (offset >= bytes_.size()) return 0;
  const std::size_t n = std::min<uint64_t>(count, bytes_.size() - offset);
  std::memcpy(out, bytes_.data() + offset, n);
  return n;
}

FileReader::~FileReader() {
  if (file_ != nullptr) std::fclose(file_);
}

bool FileReader::Open(const std::string& path) {
  file_ = std::fopen(path.c_str(), "rb");
  if (file_ == nullptr) return false;
  struct stat info {};
  if (fstat(fileno(file_), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  size_ = static_cast<uint64_t>(info.st_size);
  return true;
}

std::size_t FileReader::ReadAt(uint64_t offset, void* out, std::size_t count) {
  if (file_ == nullptr || offset >= size_) return 0;
  if (fseeko(file_, static_cast<off_t>(offset), SEEK_SET) != 0) return 0;
  return std::fread(out, 1, count, file_);
}

}  // namespace monkeys_audio
