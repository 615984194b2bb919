// What the reader fuzz targets share: any bytes written to a file and walked
// by one family's member reader, every member's data decoded. A reader never
// hands over more bytes than the member's header gave, and never more than a
// fixed cap in all.
#pragma once

#include "libs/archiver/sources/member_source.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace qorve::fuzz {

// Bytes decoded per input before the walk stops: enough for every seed.
constexpr uint64_t kWalkMaxBytes = uint64_t{16} << 20;
constexpr int kWalkMaxMembers = 200;

class CountingSink final : public archiver::MemberSink {
 public:
  bool Take(const char* /*data*/, std::size_t size) override {
    bytes += size;
    total += size;
    return total <= kWalkMaxBytes;
  }
  uint64_t bytes = 0;  // of the current member
  uint64_t total = 0;
};

// The input as a file of its own in a private folder, so that a cabinet's
// next-part name finds nothing but the input itself.
inline std::string InputFile(const uint8_t* data, size_t size) {
  static const std::string folder = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "member-source-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    return pattern;
  }();
  // Registered after `folder` is made, so it runs before `folder` is gone.
  static const bool removedAtExit = [] {
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(folder, ignored);
    });
    return true;
  }();
  (void)removedAtExit;
  const std::string path = folder + "/input.bin";
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  return path;
}

inline void WalkMembers(archiver::ArchiveFamily family, const uint8_t* data, size_t size) {
  std::unique_ptr<archiver::MemberSource> source = archiver::OpenMemberSource(family, InputFile(data, size));
  if (!source) return;
  source->Format();
  CountingSink sink;
  archiver::MemberHeader header;
  for (int members = 0; members < kWalkMaxMembers; ++members) {
    if (source->Next(header) != archiver::NextStatus::kMember) return;
    if (header.kind != archiver::MemberKind::kFile) {
      if (!source->SkipData()) return;
      continue;
    }
    sink.bytes = 0;
    const archiver::DataStatus status = source->ReadData(sink);
    if (header.size && sink.bytes > *header.size) std::abort();
    if (status != archiver::DataStatus::kDone) return;
  }
}

}  // namespace qorve::fuzz
