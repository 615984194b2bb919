#include "downloader/lha/byte_stream.h"

#include <algorithm>
#include <cstring>
#include <system_error>
#include <utility>

namespace qorve {

std::size_t MemorySource::Read(uint8_t* buffer, std::size_t size) {
  const uint64_t left = bytes_.size() - position_;
  const std::size_t count = static_cast<std::size_t>(std::min<uint64_t>(size, left));
  if (count > 0) std::memcpy(buffer, bytes_.data() + position_, count);
  position_ += count;
  return count;
}

bool MemorySource::Seek(uint64_t offset) {
  if (offset > bytes_.size()) return false;
  position_ = offset;
  return true;
}

FileSource::FileSource(const std::filesystem::path& path) : file_(std::fopen(path.c_str(), "rb")) {}

FileSource::~FileSource() {
  if (file_) std::fclose(file_);
}

std::size_t FileSource::Read(uint8_t* buffer, std::size_t size) {
  return file_ ? std::fread(buffer, 1, size, file_) : 0;
}

bool FileSource::Seek(uint64_t offset) {
  if (!file_ || offset > static_cast<uint64_t>(INT64_MAX)) return false;
  return fseeko(file_, static_cast<off_t>(offset), SEEK_SET) == 0;
}

uint64_t FileSource::Tell() const {
  if (!file_) return 0;
  const off_t position = ftello(file_);
  return position < 0 ? 0 : static_cast<uint64_t>(position);
}

FileSink::FileSink(const std::filesystem::path& path) : path_(path), file_(std::fopen(path.c_str(), "wb")) {}

FileSink::~FileSink() {
  if (file_) std::fclose(file_);
}

bool FileSink::Write(const uint8_t* data, std::size_t size) {
  return file_ && std::fwrite(data, 1, size, file_) == size;
}

bool FileSink::Finish() {
  if (!file_) return false;
  std::FILE* file = std::exchange(file_, nullptr);
  return std::fclose(file) == 0;
}

void FileSink::Abandon() {
  if (file_) std::fclose(std::exchange(file_, nullptr));
  std::error_code ignored;
  std::filesystem::remove(path_, ignored);
}

}  // namespace qorve
