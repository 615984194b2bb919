// libmspack reads and writes through a table of file operations; ours opens
// for reading only the paths this file hands it (the cabinet and its parts
// beside it) and for writing only the member sink, so the library never
// touches a file of its own choosing.
#include "libs/archiver/sources/cabinet_source.h"

#include <dirent.h>
#include <fcntl.h>
#include <mspack.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <deque>

namespace qorve::archiver {
namespace {

// Parts of one set followed each way; real sets have a handful.
constexpr int kMaxCabinetParts = 256;
// The name the member sink goes by towards libmspack: no path can be it.
constexpr char kSinkName[] = "\x01member";

// What libmspack holds as a `mspack_file`: a descriptor read from, or the sink.
struct CabinetFile {
  int fd = -1;
  MemberSink* sink = nullptr;
  bool* sinkRefused = nullptr;
};

// The operations table first, so that libmspack's `self` is the whole.
struct CabinetSystem {
  mspack_system ops;
  MemberSink* sink = nullptr;  // where the member being extracted goes
  bool sinkRefused = false;
};

CabinetFile* AsFile(mspack_file* file) { return reinterpret_cast<CabinetFile*>(file); }

mspack_file* OpenFile(mspack_system* self, const char* name, int mode) {
  auto* system = reinterpret_cast<CabinetSystem*>(self);
  if (mode == MSPACK_SYS_OPEN_WRITE && std::strcmp(name, kSinkName) == 0 && system->sink != nullptr) {
    return reinterpret_cast<mspack_file*>(new CabinetFile{-1, system->sink, &system->sinkRefused});
  }
  if (mode != MSPACK_SYS_OPEN_READ) return nullptr;
  const int fd = open(name, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  return reinterpret_cast<mspack_file*>(new CabinetFile{fd, nullptr, nullptr});
}

void CloseFile(mspack_file* file) {
  CabinetFile* own = AsFile(file);
  if (own == nullptr) return;
  if (own->fd >= 0) close(own->fd);
  delete own;
}

int ReadFile(mspack_file* file, void* buffer, int bytes) {
  CabinetFile* own = AsFile(file);
  if (own == nullptr || own->fd < 0 || bytes < 0) return -1;
  int done = 0;
  while (done < bytes) {
    const ssize_t got = read(own->fd, static_cast<char*>(buffer) + done, static_cast<std::size_t>(bytes - done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) break;
    done += static_cast<int>(got);
  }
  return done;
}

int WriteFile(mspack_file* file, void* buffer, int bytes) {
  CabinetFile* own = AsFile(file);
  if (own == nullptr || own->sink == nullptr || bytes < 0) return -1;
  if (!own->sink->Take(static_cast<const char*>(buffer), static_cast<std::size_t>(bytes))) {
    *own->sinkRefused = true;
    return -1;
  }
  return bytes;
}

int SeekFile(mspack_file* file, off_t offset, int mode) {
  CabinetFile* own = AsFile(file);
  if (own == nullptr || own->fd < 0) return -1;
  const int whence = mode == MSPACK_SYS_SEEK_START ? SEEK_SET : mode == MSPACK_SYS_SEEK_CUR ? SEEK_CUR : SEEK_END;
  return lseek(own->fd, offset, whence) < 0 ? -1 : 0;
}

off_t TellFile(mspack_file* file) {
  CabinetFile* own = AsFile(file);
  return own == nullptr || own->fd < 0 ? -1 : lseek(own->fd, 0, SEEK_CUR);
}

void Message(mspack_file* /*file*/, const char* /*format*/, ...) {}  // damage is reported by result codes
void* Allocate(mspack_system* /*self*/, size_t bytes) { return std::malloc(bytes); }
void Free(void* pointer) { std::free(pointer); }
void Copy(void* from, void* to, size_t bytes) { std::memmove(to, from, bytes); }

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string ErrorWord(int error) {
  switch (error) {
    case MSPACK_ERR_OPEN:
    case MSPACK_ERR_READ:
    case MSPACK_ERR_SEEK:
      return "cannot read the cabinet";
    case MSPACK_ERR_NOMEMORY:
      return "out of memory";
    case MSPACK_ERR_CHECKSUM:
      return "checksum error";
    case MSPACK_ERR_DECRUNCH:
    case MSPACK_ERR_DATAFORMAT:
      return "data cannot be decoded";
    default:
      return "damaged cabinet";
  }
}

// DOS date and time fields, local time as Windows wrote them.
std::optional<timespec> ModifiedTime(const mscabd_file& file) {
  struct tm when {};
  when.tm_year = file.date_y - 1900;
  when.tm_mon = file.date_m - 1;
  when.tm_mday = file.date_d;
  when.tm_hour = file.time_h;
  when.tm_min = file.time_m;
  when.tm_sec = file.time_s;
  when.tm_isdst = -1;
  const time_t seconds = mktime(&when);
  if (seconds == static_cast<time_t>(-1)) return std::nullopt;
  return timespec{seconds, 0};
}

class CabinetSource final : public MemberSource {
 public:
  CabinetSource() {
    system_.ops = {OpenFile, CloseFile, ReadFile, WriteFile, SeekFile, TellFile, Message, Allocate, Free, Copy,
                   nullptr};
  }
  ~CabinetSource() override {
    if (decompressor_ == nullptr) return;
    // Closing the cabinet search() gave closes every part joined to it.
    if (first_ != nullptr) decompressor_->close(decompressor_, first_);
    mspack_destroy_cab_decompressor(decompressor_);
  }

  bool Open(const std::string& path) {
    int selfTest = MSPACK_ERR_OK;
    MSPACK_SYS_SELFTEST(selfTest);
    if (selfTest != MSPACK_ERR_OK) return false;
    decompressor_ = mspack_create_cab_decompressor(&system_.ops);
    if (decompressor_ == nullptr) return false;
    path_ = path;
    // search() also finds a cabinet inside a self-extracting program; further
    // cabinets it finds in the same file are left alone.
    first_ = decompressor_->search(decompressor_, path_.c_str());
    if (first_ == nullptr) return false;
    partPaths_.push_back(path_);
    JoinParts();
    return true;
  }

  std::string Format() const override { return "CAB"; }
  bool NextNeedsDecoding() const override { return false; }

  NextStatus Next(MemberHeader& header) override {
    file_ = started_ ? (file_ != nullptr ? file_->next : nullptr) : Head()->files;
    started_ = true;
    if (file_ == nullptr) return NextStatus::kEnd;
    header = MemberHeader{};
    header.name = file_->filename != nullptr ? file_->filename : "";
    header.kind = MemberKind::kFile;
    header.size = file_->length;
    header.executable = (file_->attribs & MSCAB_ATTRIB_EXEC) != 0;
    header.modified = ModifiedTime(*file_);
    return NextStatus::kMember;
  }

  DataStatus ReadData(MemberSink& sink) override {
    if (file_ == nullptr) return DataStatus::kDone;
    system_.sink = &sink;
    system_.sinkRefused = false;
    const int error = decompressor_->extract(decompressor_, file_, kSinkName);
    system_.sink = nullptr;
    if (error == MSPACK_ERR_OK) return DataStatus::kDone;
    if (system_.sinkRefused) return DataStatus::kStopped;
    problem_ = ErrorWord(error);
    if (error == MSPACK_ERR_DATAFORMAT || error == MSPACK_ERR_ARGS) problem_ = MissingPartOrDamage();
    return DataStatus::kBroken;
  }

  bool SkipData() override { return true; }  // every member is reached by its offset
  std::string Problem() const override { return problem_; }

 private:
  // The cabinet whose file list starts the set.
  mscabd_cabinet* Head() const {
    mscabd_cabinet* head = first_;
    while (head->prevcab != nullptr) head = head->prevcab;
    return head;
  }

  std::string MissingPartOrDamage() const {
    for (const mscabd_cabinet* c = Head(); c != nullptr; c = c->nextcab) {
      if ((c->flags & MSCAB_HDR_NEXTCAB) != 0 && c->nextcab == nullptr) {
        return std::string("the next part \"") + (c->nextname != nullptr ? c->nextname : "") + "\" is missing";
      }
    }
    if ((Head()->flags & MSCAB_HDR_PREVCAB) != 0) {
      return std::string("the previous part \"") + (Head()->prevname != nullptr ? Head()->prevname : "") +
             "\" is missing";
    }
    return "damaged cabinet";
  }

  bool AlreadyOpen(const std::string& path) const {
    for (const std::string& part : partPaths_) {
      if (part == path) return true;
    }
    return false;
  }

  // Opens the part `name` beside the first file and joins it to `at`, after
  // it or before it; the part joined, or null (a part that does not join is
  // closed again).
  mscabd_cabinet* JoinPart(mscabd_cabinet* at, const char* name, bool after) {
    if (name == nullptr || partPaths_.size() >= kMaxCabinetParts) return nullptr;
    const std::optional<std::string> part = CabinetPartBeside(FolderOf(path_), name);
    if (!part || AlreadyOpen(*part)) return nullptr;
    partPaths_.push_back(*part);
    mscabd_cabinet* cabinet = decompressor_->open(decompressor_, partPaths_.back().c_str());
    if (cabinet == nullptr) return nullptr;
    const int joined = after ? decompressor_->append(decompressor_, at, cabinet)
                             : decompressor_->prepend(decompressor_, at, cabinet);
    if (joined == MSPACK_ERR_OK) return cabinet;
    decompressor_->close(decompressor_, cabinet);
    return nullptr;
  }

  // Follows the set's next- and previous-cabinet names as far as the parts
  // are there; a part missing leaves the members it holds undecodable.
  void JoinParts() {
    for (mscabd_cabinet* at = first_; at != nullptr && (at->flags & MSCAB_HDR_NEXTCAB) != 0;) {
      at = JoinPart(at, at->nextname, true);
    }
    for (mscabd_cabinet* at = first_; at != nullptr && (at->flags & MSCAB_HDR_PREVCAB) != 0;) {
      at = JoinPart(at, at->prevname, false);
    }
  }

  CabinetSystem system_{};
  mscab_decompressor* decompressor_ = nullptr;
  std::string path_;
  mscabd_cabinet* first_ = nullptr;    // the cabinet found in the file given
  // Every file tried as a part of the set, the first too. libmspack keeps
  // the name it was given until the cabinet is closed: a deque never moves it.
  std::deque<std::string> partPaths_;
  mscabd_file* file_ = nullptr;  // the member Next gave last
  bool started_ = false;
  std::string problem_;
};

}  // namespace

std::optional<std::string> CabinetPartBeside(const std::string& folder, const std::string& name) {
  if (name.empty() || name == "." || name == ".." || name.find_first_of("/\\:") != std::string::npos) {
    return std::nullopt;
  }
  DIR* listing = opendir(folder.c_str());
  if (listing == nullptr) return std::nullopt;
  std::optional<std::string> found;
  while (const dirent* entry = readdir(listing)) {
    if (strcasecmp(entry->d_name, name.c_str()) != 0) continue;
    // A regular file only: a link could lead out of the folder, a FIFO would
    // block the reading.
    const std::string path = (folder == "/" ? "" : folder) + "/" + entry->d_name;
    struct stat info;
    if (lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    found = path;
    if (name == entry->d_name) break;  // an exact match wins over one that differs in case
  }
  closedir(listing);
  return found;
}

std::unique_ptr<MemberSource> OpenCabinetSource(const std::string& path) {
  auto source = std::make_unique<CabinetSource>();
  if (!source->Open(path)) return nullptr;
  return source;
}

}  // namespace qorve::archiver
