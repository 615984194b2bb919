#include "libs/archiver/sources/libarchive_source.h"

#include <archive.h>
#include <archive_entry.h>

#include <array>
#include <cctype>
#include <optional>
#include <string_view>

namespace qorve::archiver {
namespace {

constexpr std::size_t kBlockSize = 10240;
constexpr std::size_t kCopyBuffer = 65536;

struct ReaderDeleter {
  void operator()(archive* a) const { archive_read_free(a); }
};
using Reader = std::unique_ptr<archive, ReaderDeleter>;

Reader OpenReader(ArchiveFamily family, const std::string& path) {
  Reader reader(archive_read_new());
  if (!reader) return nullptr;
  archive* a = reader.get();
  switch (family) {
    case ArchiveFamily::Zip:
      archive_read_support_format_zip(a);
      break;
    case ArchiveFamily::Rar:
      archive_read_support_format_rar(a);
      archive_read_support_format_rar5(a);
      break;
    case ArchiveFamily::Tar:
      archive_read_support_format_tar(a);
      archive_read_support_format_gnutar(a);
      archive_read_support_format_raw(a);
      archive_read_support_filter_gzip(a);
      archive_read_support_filter_bzip2(a);
      archive_read_support_filter_xz(a);
      archive_read_support_filter_compress(a);
      break;
    case ArchiveFamily::Lha:
    case ArchiveFamily::Cab:
      return nullptr;
  }
  if (archive_read_open_filename(a, path.c_str(), kBlockSize) != ARCHIVE_OK) return nullptr;
  return reader;
}

// The raw format accepts any bytes; it counts only under a compression filter.
bool IsBareRaw(archive* a) {
  return archive_format(a) == ARCHIVE_FORMAT_RAW && archive_filter_code(a, 0) == ARCHIVE_FILTER_NONE;
}

std::string FilterWord(archive* a) {
  switch (archive_filter_code(a, 0)) {
    case ARCHIVE_FILTER_GZIP:
      return "GZ";
    case ARCHIVE_FILTER_BZIP2:
      return "BZ2";
    case ARCHIVE_FILTER_XZ:
      return "XZ";
    case ARCHIVE_FILTER_COMPRESS:
      return "Z";
    default:
      return "";
  }
}

std::string FormatWord(archive* a) {
  const std::string filter = FilterWord(a);
  switch (archive_format(a) & ARCHIVE_FORMAT_BASE_MASK) {
    case ARCHIVE_FORMAT_ZIP:
      return "ZIP";
    case ARCHIVE_FORMAT_RAR:
      return "RAR";
    case ARCHIVE_FORMAT_RAR_V5:
      return "RAR5";
    case ARCHIVE_FORMAT_TAR:
      return filter.empty() ? "TAR" : "TAR." + filter;
    case ARCHIVE_FORMAT_RAW:
      return filter;
    default:
      return "";
  }
}

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool EndsWithNoCase(std::string_view text, std::string_view tail) {
  if (text.size() <= tail.size()) return false;
  for (std::size_t i = 0; i < tail.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[text.size() - tail.size() + i])) != tail[i]) return false;
  }
  return true;
}

// A compressed single file is named after the archive without its
// compression ending ("notes.txt.gz" → "notes.txt").
std::string RawMemberName(const std::string& archivePath) {
  std::string name = BaseName(archivePath);
  for (std::string_view tail : {".gz", ".bz2", ".xz", ".z", ".tgz", ".tbz"}) {
    if (EndsWithNoCase(name, tail)) {
      name.resize(name.size() - tail.size());
      if (tail == ".tgz" || tail == ".tbz") name += ".tar";
      return name;
    }
  }
  return name + ".out";
}

class LibarchiveSource final : public MemberSource {
 public:
  LibarchiveSource(Reader reader, std::string path, archive_entry* first, int firstStatus)
      : reader_(std::move(reader)), path_(std::move(path)), entry_(first), pendingStatus_(firstStatus) {}

  std::string Format() const override { return FormatWord(reader_.get()); }

  // In a compressed stream, and in a solid RAR archive (libarchive cannot
  // tell a solid one from others, so every RAR archive counts).
  bool NextNeedsDecoding() const override {
    archive* a = reader_.get();
    const int format = archive_format(a) & ARCHIVE_FORMAT_BASE_MASK;
    return archive_filter_code(a, 0) != ARCHIVE_FILTER_NONE || format == ARCHIVE_FORMAT_RAR ||
           format == ARCHIVE_FORMAT_RAR_V5;
  }

  NextStatus Next(MemberHeader& header) override {
    archive* a = reader_.get();
    const int status = pendingStatus_ ? *pendingStatus_ : archive_read_next_header(a, &entry_);
    pendingStatus_.reset();
    if (status == ARCHIVE_EOF) return NextStatus::kEnd;
    if (status < ARCHIVE_WARN) return NextStatus::kBroken;
    Describe(header);
    return NextStatus::kMember;
  }

  DataStatus ReadData(MemberSink& sink) override {
    std::array<char, kCopyBuffer> buffer;
    for (;;) {
      const la_ssize_t got = archive_read_data(reader_.get(), buffer.data(), buffer.size());
      if (got == 0) return DataStatus::kDone;
      if (got < 0) return DataStatus::kBroken;
      if (!sink.Take(buffer.data(), static_cast<std::size_t>(got))) return DataStatus::kStopped;
    }
  }

  bool SkipData() override { return archive_read_data_skip(reader_.get()) != ARCHIVE_FATAL; }

  std::string Problem() const override {
    const char* text = archive_error_string(reader_.get());
    return text != nullptr ? text : "unreadable";
  }

 private:
  void Describe(MemberHeader& header) const {
    archive* a = reader_.get();
    archive_entry* entry = entry_;
    header = MemberHeader{};
    const bool raw = archive_format(a) == ARCHIVE_FORMAT_RAW;
    const char* name = archive_entry_pathname(entry);
    header.name = raw ? RawMemberName(path_) : (name != nullptr ? name : "");
    const mode_t type = archive_entry_filetype(entry);
    const char* hardLink = archive_entry_hardlink(entry);
    const char* symlink = archive_entry_symlink(entry);
    if (type == AE_IFDIR) {
      header.kind = MemberKind::kFolder;
    } else if (hardLink != nullptr) {
      header.kind = MemberKind::kHardLink;
      header.linkTarget = hardLink;
    } else if (type == AE_IFLNK) {
      header.kind = MemberKind::kSymlink;
      header.linkTarget = symlink != nullptr ? symlink : "";
    } else if (type == AE_IFREG || type == 0) {
      header.kind = MemberKind::kFile;
    } else {
      header.kind = MemberKind::kOther;
    }
    // A single compressed file has no size (its raw entry only stands for the stream).
    if (!raw && archive_entry_size_is_set(entry)) {
      const la_int64_t size = archive_entry_size(entry);
      header.size = size > 0 ? static_cast<uint64_t>(size) : 0;
    }
    header.executable = (archive_entry_perm(entry) & 0111) != 0;
    if (archive_entry_mtime_is_set(entry)) {
      header.modified = timespec{archive_entry_mtime(entry), archive_entry_mtime_nsec(entry)};
    }
  }

  Reader reader_;
  std::string path_;
  archive_entry* entry_;
  std::optional<int> pendingStatus_;  // the first header's status, read when the archive was opened
};

}  // namespace

std::unique_ptr<MemberSource> OpenLibarchiveSource(ArchiveFamily family, const std::string& path) {
  Reader reader = OpenReader(family, path);
  if (!reader) return nullptr;
  // The format is known once the first header has been read.
  archive_entry* entry = nullptr;
  const int status = archive_read_next_header(reader.get(), &entry);
  if ((status < ARCHIVE_WARN && status != ARCHIVE_EOF) || IsBareRaw(reader.get())) return nullptr;
  return std::make_unique<LibarchiveSource>(std::move(reader), path, entry, status);
}

}  // namespace qorve::archiver
