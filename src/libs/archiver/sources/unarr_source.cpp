// unarr gives each member's name converted to UTF-8, from code page 437 when
// the archive stores no Unicode name, which would garble the Shift-JIS names
// of Japanese archives. The name's own bytes are therefore read from the
// member's header (at the offset unarr reports, through a descriptor of our
// own so that unarr's stream is never moved), and only a Unicode name is
// taken from unarr. unarr passes over folder entries; a walk over the
// archive's block heads finds them, and they are given after the files.
#include "libs/archiver/sources/unarr_source.h"

#include <fcntl.h>
#include <unarr.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <vector>

namespace qorve::archiver {
namespace {

constexpr std::size_t kCopyBuffer = 65536;
// RAR 4 file header: 7 bytes of block head, then the fixed fields before the name.
constexpr std::size_t kFixedHeader = 32;
constexpr uint16_t kFlagLargeSizes = 0x0100;  // 8 more bytes of sizes before the name
constexpr uint16_t kFlagUnicodeName = 0x0200;
constexpr uint16_t kFolderFlags = 0x00E0;  // all three dictionary bits set
constexpr uint8_t kHostUnix = 3;
constexpr uint32_t kUnixTypeMask = 0170000;
constexpr uint32_t kUnixLink = 0120000;
// A link's target is its data; no real target is longer.
constexpr std::size_t kMaxLinkTarget = 4096;
// 100-ns steps from 1601-01-01 to 1970-01-01.
constexpr int64_t kFileTimeToUnix = 116444736000000000;
constexpr off64_t kMarkerSize = 7;  // "Rar!" 1A 07 00
constexpr uint8_t kFileBlock = 0x74;
constexpr uint8_t kEndBlock = 0x7B;
constexpr uint16_t kFlagLongBlock = 0x8000;  // 4 bytes of data size follow the block head
// Block heads walked at most in search of folders: a real archive has a few
// per member.
constexpr int kMaxBlocks = 400000;

uint16_t Le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const unsigned char* p) { return Le16(p) | (static_cast<uint32_t>(Le16(p + 2)) << 16); }

// What the member's own header says beyond unarr's view of it.
struct RawHeader {
  std::string name;  // the stored bytes ("\" between folders)
  bool unicode = false;
  bool folder = false;
  bool link = false;
};

bool ReadRawHeader(int fd, off64_t offset, RawHeader& raw) {
  std::array<unsigned char, kFixedHeader + 8> fixed{};
  if (pread(fd, fixed.data(), fixed.size(), offset) < static_cast<ssize_t>(kFixedHeader)) return false;
  if (fixed[2] != kFileBlock) return false;
  const uint16_t flags = Le16(&fixed[3]);
  const uint16_t headerSize = Le16(&fixed[5]);
  const uint8_t host = fixed[15];
  const uint16_t nameSize = Le16(&fixed[26]);
  const uint32_t attributes = Le32(&fixed[28]);
  const std::size_t nameAt = kFixedHeader + ((flags & kFlagLargeSizes) != 0 ? 8 : 0);
  if (nameAt + nameSize > headerSize) return false;
  raw.name.resize(nameSize);
  if (nameSize > 0 && pread(fd, raw.name.data(), nameSize, offset + static_cast<off64_t>(nameAt)) != nameSize) {
    return false;
  }
  // A Unicode name follows the plain one after a NUL.
  if (const std::size_t nul = raw.name.find('\0'); nul != std::string::npos) raw.name.resize(nul);
  raw.unicode = (flags & kFlagUnicodeName) != 0;
  raw.folder = (flags & kFolderFlags) == kFolderFlags;
  raw.link = host == kHostUnix && (attributes & kUnixTypeMask) == kUnixLink;
  return true;
}

class UnarrSource final : public MemberSource {
 public:
  ~UnarrSource() override {
    if (archive_ != nullptr) ar_close_archive(archive_);
    if (stream_ != nullptr) ar_close(stream_);
    if (fd_ >= 0) close(fd_);
  }

  bool Open(const std::string& path) {
    fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) return false;
    stream_ = ar_open_file(path.c_str());
    if (stream_ == nullptr) return false;
    archive_ = ar_open_rar_archive(stream_);
    if (archive_ == nullptr) return false;
    FindFolders();
    return true;
  }

  std::string Format() const override { return "RAR"; }
  // A solid archive's members are one stream: the next header is reached by
  // decoding what comes before it.
  bool NextNeedsDecoding() const override { return true; }

  NextStatus Next(MemberHeader& header) override {
    if (filesDone_) return NextFolder(header);
    if (!ar_parse_entry(archive_)) {
      if (ar_at_eof(archive_)) {
        filesDone_ = true;
        return NextFolder(header);
      }
      problem_ = "damaged RAR header";
      return NextStatus::kBroken;
    }
    RawHeader raw;
    if (!ReadRawHeader(fd_, ar_entry_get_offset(archive_), raw)) {
      problem_ = "damaged RAR header";
      return NextStatus::kBroken;
    }
    header = MemberHeader{};
    const char* unicodeName = ar_entry_get_name(archive_);
    header.name = raw.unicode && unicodeName != nullptr ? unicodeName : raw.name;
    left_ = ar_entry_get_size(archive_);
    header.size = left_;
    header.kind = raw.folder ? MemberKind::kFolder : MemberKind::kFile;
    if (raw.link) {
      header.kind = MemberKind::kSymlink;
      if (!ReadLinkTarget(header.linkTarget)) return NextStatus::kBroken;
    }
    const int64_t fileTime = ar_entry_get_filetime(archive_);
    if (fileTime > kFileTimeToUnix) {
      const int64_t since1970 = fileTime - kFileTimeToUnix;
      header.modified =
          timespec{static_cast<time_t>(since1970 / 10000000), static_cast<long>(since1970 % 10000000) * 100};
    }
    return NextStatus::kMember;
  }

  // Each block is asked for exactly: unarr refuses to give more than is left,
  // and checks the member's CRC when its last byte is given.
  DataStatus ReadData(MemberSink& sink) override {
    std::array<char, kCopyBuffer> buffer;
    while (left_ > 0) {
      const std::size_t block = left_ < buffer.size() ? left_ : buffer.size();
      if (!ar_entry_uncompress(archive_, buffer.data(), block)) {
        problem_ = "data cannot be decoded, or CRC error";
        return DataStatus::kBroken;
      }
      left_ -= block;
      if (!sink.Take(buffer.data(), block)) return DataStatus::kStopped;
    }
    return DataStatus::kDone;
  }

  bool SkipData() override { return true; }  // unarr passes over what was left unread itself
  std::string Problem() const override { return problem_; }

 private:
  bool ReadLinkTarget(std::string& target) {
    if (left_ > kMaxLinkTarget) {
      problem_ = "link target too long";
      return false;
    }
    target.resize(left_);
    if (left_ > 0 && !ar_entry_uncompress(archive_, target.data(), left_)) {
      problem_ = "data cannot be decoded, or CRC error";
      return false;
    }
    left_ = 0;
    return true;
  }

  // Every folder entry, by a walk over the block heads from the first.
  void FindFolders() {
    off64_t at = kMarkerSize;
    for (int block = 0; block < kMaxBlocks; ++block) {
      std::array<unsigned char, 11> head{};
      if (pread(fd_, head.data(), head.size(), at) < 7) return;
      const uint8_t type = head[2];
      const uint16_t flags = Le16(&head[3]);
      const uint16_t size = Le16(&head[5]);
      if (size < 7 || type == kEndBlock) return;
      const uint64_t data = (flags & kFlagLongBlock) != 0 ? Le32(&head[7]) : 0;
      RawHeader raw;
      if (type == kFileBlock && ReadRawHeader(fd_, at, raw) && raw.folder) folders_.push_back(raw);
      at += static_cast<off64_t>(size + data);
    }
  }

  NextStatus NextFolder(MemberHeader& header) {
    if (nextFolder_ >= folders_.size()) return NextStatus::kEnd;
    const RawHeader& raw = folders_[nextFolder_++];
    header = MemberHeader{};
    header.name = raw.name;
    header.kind = MemberKind::kFolder;
    header.size = 0;
    left_ = 0;
    return NextStatus::kMember;
  }

  int fd_ = -1;
  ar_stream* stream_ = nullptr;
  ar_archive* archive_ = nullptr;
  std::size_t left_ = 0;  // bytes of the current member not yet decoded
  std::vector<RawHeader> folders_;
  std::size_t nextFolder_ = 0;
  bool filesDone_ = false;  // unarr has given its last member; the folders follow
  std::string problem_;
};

}  // namespace

std::unique_ptr<MemberSource> OpenUnarrSource(const std::string& path) {
  auto source = std::make_unique<UnarrSource>();
  if (!source->Open(path)) return nullptr;
  return source;
}

}  // namespace qorve::archiver
