// liblhasa decodes -lh0-, -lh1-, -lh4- to -lh7-, -lzs-, -lz4-, -lz5- and
// -pm0- to -pm2-; it reads the archive through callbacks over our own file
// descriptor, and every member's data are checked here against the length
// and CRC-16 of its header, which liblhasa's reading call does not report.
#include "libs/archiver/sources/lhasa_source.h"

#include <fcntl.h>
#include <lhasa.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace qorve::archiver {
namespace {

constexpr std::size_t kCopyBuffer = 65536;

// The archive file as liblhasa reads it. A skip may move past the end of the
// file (the member's data were cut off); that is remembered, so that the end
// of the headers it causes counts as a broken archive, not as its end.
struct LhaFile {
  int fd = -1;
  uint64_t size = 0;
  bool cutOff = false;

  ~LhaFile() {
    if (fd >= 0) close(fd);
  }
};

int ReadCallback(void* handle, void* buffer, size_t length) {
  auto* file = static_cast<LhaFile*>(handle);
  std::size_t done = 0;
  while (done < length) {
    const ssize_t got = read(file->fd, static_cast<char*>(buffer) + done, length - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  return static_cast<int>(done);
}

int SkipCallback(void* handle, size_t bytes) {
  auto* file = static_cast<LhaFile*>(handle);
  const off_t at = lseek(file->fd, 0, SEEK_CUR);
  if (at < 0 || bytes > file->size || static_cast<uint64_t>(at) > file->size - bytes) {
    file->cutOff = true;
    return 0;
  }
  return lseek(file->fd, static_cast<off_t>(bytes), SEEK_CUR) >= 0 ? 1 : 0;
}

void CloseCallback(void* /*handle*/) {}  // the descriptor belongs to LhaFile

const LHAInputStreamType kStreamType = {ReadCallback, SkipCallback, CloseCallback};

// The CRC-16 of LHA members' data: reflected, polynomial 0xA001, from 0.
uint16_t AddToCrc16(uint16_t crc, const char* data, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    crc ^= static_cast<uint8_t>(data[i]);
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) != 0 ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
  }
  return crc;
}

class LhasaSource final : public MemberSource {
 public:
  ~LhasaSource() override {
    if (reader_ != nullptr) lha_reader_free(reader_);
    if (stream_ != nullptr) lha_input_stream_free(stream_);
  }

  // Opens the file and reads the first header; false when there is none.
  bool Open(const std::string& path) {
    file_.fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info;
    if (file_.fd < 0 || fstat(file_.fd, &info) != 0 || !S_ISREG(info.st_mode)) return false;
    file_.size = static_cast<uint64_t>(info.st_size);
    stream_ = lha_input_stream_new(&kStreamType, &file_);
    if (stream_ == nullptr) return false;
    reader_ = lha_reader_new(stream_);
    if (reader_ == nullptr) return false;
    // Folders as they stand in the archive, without the second visit liblhasa
    // can make to set a folder's time after its contents.
    lha_reader_set_dir_policy(reader_, LHA_READER_DIR_PLAIN);
    current_ = NextReal();
    pending_ = true;
    return current_ != nullptr;
  }

  std::string Format() const override { return "LHA"; }
  bool NextNeedsDecoding() const override { return false; }

  NextStatus Next(MemberHeader& header) override {
    if (!pending_) current_ = NextReal();
    pending_ = false;
    if (current_ == nullptr) {
      if (!file_.cutOff) return NextStatus::kEnd;
      problem_ = "the archive ends inside a member";
      return NextStatus::kBroken;
    }
    Describe(*current_, header);
    return NextStatus::kMember;
  }

  DataStatus ReadData(MemberSink& sink) override {
    if (current_ == nullptr || IsStoredFolderOrLink(*current_)) return DataStatus::kDone;
    std::array<char, kCopyBuffer> buffer;
    uint64_t length = 0;
    uint16_t crc = 0;
    for (;;) {
      const std::size_t got = lha_reader_read(reader_, buffer.data(), buffer.size());
      if (got == 0) break;
      length += got;
      crc = AddToCrc16(crc, buffer.data(), got);
      if (length > current_->length) break;  // more than the header says: damaged
      if (!sink.Take(buffer.data(), got)) return DataStatus::kStopped;
    }
    if (length != current_->length) {
      problem_ = std::string(current_->compress_method) + " data cannot be decoded";
      return DataStatus::kBroken;
    }
    if (crc != current_->crc) {
      problem_ = "CRC error";
      return DataStatus::kBroken;
    }
    return DataStatus::kDone;
  }

  bool SkipData() override { return true; }  // the next header is reached by a seek
  std::string Problem() const override { return problem_; }

 private:
  static bool IsStoredFolderOrLink(const LHAFileHeader& lha) {
    return std::strcmp(lha.compress_method, LHA_COMPRESS_TYPE_DIR) == 0;
  }

  // The next header, passing over the entries liblhasa makes up itself.
  LHAFileHeader* NextReal() {
    LHAFileHeader* lha = lha_reader_next_file(reader_);
    while (lha != nullptr && lha_reader_current_is_fake(reader_) != 0) lha = lha_reader_next_file(reader_);
    return lha;
  }

  static void Describe(const LHAFileHeader& lha, MemberHeader& header) {
    header = MemberHeader{};
    // liblhasa gives the folder part (ending in "/") and the file name apart.
    if (lha.path != nullptr) header.name = lha.path;
    if (lha.filename != nullptr) header.name += lha.filename;
    if (IsStoredFolderOrLink(lha)) {
      header.kind = lha.symlink_target != nullptr ? MemberKind::kSymlink : MemberKind::kFolder;
      if (lha.symlink_target != nullptr) header.linkTarget = lha.symlink_target;
      header.size = 0;
    } else {
      header.kind = MemberKind::kFile;
      header.size = lha.length;
    }
    header.executable = LHA_FILE_HAVE_EXTRA(&lha, LHA_FILE_UNIX_PERMS) && (lha.unix_perms & 0111) != 0;
    if (lha.timestamp != 0) header.modified = timespec{static_cast<time_t>(lha.timestamp), 0};
  }

  LhaFile file_;
  LHAInputStream* stream_ = nullptr;
  LHAReader* reader_ = nullptr;
  LHAFileHeader* current_ = nullptr;  // valid until the next lha_reader_next_file
  bool pending_ = false;              // current_ is the first header, not yet handed out
  std::string problem_;
};

}  // namespace

std::unique_ptr<MemberSource> OpenLhasaSource(const std::string& path) {
  auto source = std::make_unique<LhasaSource>();
  if (!source->Open(path)) return nullptr;
  return source;
}

}  // namespace qorve::archiver
