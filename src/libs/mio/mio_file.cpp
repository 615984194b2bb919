#include "libs/mio/mio_file.h"

#include <filesystem>
#include <fstream>

namespace qorve::mio {

bool MioFile::Open(const std::string& path) {
  Close();
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return false;
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  if (error || size > kMaxBytes) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes_.resize(static_cast<std::size_t>(size));
  in.read(reinterpret_cast<char*>(bytes_.data()), static_cast<std::streamsize>(size));
  if (static_cast<std::uintmax_t>(in.gcount()) != size) {
    bytes_.clear();
    return false;
  }
  open_ = true;
  return true;
}

void MioFile::OpenBytes(std::vector<uint8_t> bytes) {
  bytes_ = std::move(bytes);
  open_ = true;
}

void MioFile::Close() {
  bytes_.clear();
  bytes_.shrink_to_fit();
  open_ = false;
}

}  // namespace qorve::mio
