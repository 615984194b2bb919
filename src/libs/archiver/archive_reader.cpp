#include "archive_reader.h"

#include "command_line.h"
#include "destination_folder.h"
#include "member_name.h"

#include <archive.h>
#include <archive_entry.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <memory>
#include <optional>
#include <string_view>
#include <unordered_map>

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
    case ArchiveFamily::Lha:
      archive_read_support_format_lha(a);
      break;
    case ArchiveFamily::Zip:
      archive_read_support_format_zip(a);
      break;
    case ArchiveFamily::Rar:
      archive_read_support_format_rar(a);
      archive_read_support_format_rar5(a);
      break;
    case ArchiveFamily::Cab:
      archive_read_support_format_cab(a);
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
  }
  if (archive_read_open_filename(a, path.c_str(), kBlockSize) != ARCHIVE_OK) return nullptr;
  return reader;
}

// The raw format accepts any bytes; it counts only under a compression filter.
bool IsBareRaw(archive* a) {
  return archive_format(a) == ARCHIVE_FORMAT_RAW && archive_filter_code(a, 0) == ARCHIVE_FILTER_NONE;
}

// Whether reaching the next header means decoding the data before it: in a
// compressed stream, and in a solid RAR archive (libarchive cannot tell a
// solid one from others, so every RAR archive counts).
bool SkipsByDecoding(archive* a) {
  const int format = archive_format(a) & ARCHIVE_FORMAT_BASE_MASK;
  return archive_filter_code(a, 0) != ARCHIVE_FILTER_NONE || format == ARCHIVE_FORMAT_RAR ||
         format == ARCHIVE_FORMAT_RAR_V5;
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

// The format as the extensions people know name it.
std::string FormatWord(archive* a) {
  const std::string filter = FilterWord(a);
  switch (archive_format(a) & ARCHIVE_FORMAT_BASE_MASK) {
    case ARCHIVE_FORMAT_LHA:
      return "LHA";
    case ARCHIVE_FORMAT_ZIP:
      return "ZIP";
    case ARCHIVE_FORMAT_RAR:
      return "RAR";
    case ARCHIVE_FORMAT_RAR_V5:
      return "RAR5";
    case ARCHIVE_FORMAT_CAB:
      return "CAB";
    case ARCHIVE_FORMAT_TAR:
      return filter.empty() ? "TAR" : "TAR." + filter;
    case ARCHIVE_FORMAT_RAW:
      return filter;
    default:
      return "";
  }
}

std::string ErrorText(archive* a) {
  const char* text = archive_error_string(a);
  return text != nullptr ? text : "unreadable";
}

bool IsFileWithData(archive_entry* entry) {
  const mode_t type = archive_entry_filetype(entry);
  return (type == AE_IFREG || type == 0) && archive_entry_hardlink(entry) == nullptr;
}

// The size the member's header gives, if it gives one. A single compressed
// file has none (its raw entry only stands for the stream).
std::optional<uint64_t> DeclaredSize(archive* a, archive_entry* entry) {
  if (archive_format(a) == ARCHIVE_FORMAT_RAW || !archive_entry_size_is_set(entry)) return std::nullopt;
  const la_int64_t size = archive_entry_size(entry);
  return size > 0 ? static_cast<uint64_t>(size) : 0;
}

std::string TooManyMembers(const ArchiveLimits& limits) {
  return "more than " + std::to_string(limits.maxMembers) + " members";
}

std::string TooManyBytes(uint64_t budget, const ArchiveLimits& limits) {
  if (budget < limits.maxBytes) {
    return "unpacks to more than the " + std::to_string(budget) + " bytes the free space allows (" +
           std::to_string(limits.freeSpaceMargin) + " bytes kept free)";
  }
  return "unpacks to more than " + std::to_string(limits.maxBytes) + " bytes";
}

enum class CopyResult { kDone, kReadError, kWriteError, kOverBudget };

// Decodes the current member's data into `fd` (or only counts it when fd < 0),
// adding the bytes to `bytes`; stops as soon as `bytes` would pass `budget`.
CopyResult CopyData(archive* a, int fd, uint64_t& bytes, uint64_t budget) {
  std::array<char, kCopyBuffer> buffer;
  for (;;) {
    const la_ssize_t got = archive_read_data(a, buffer.data(), buffer.size());
    if (got == 0) return CopyResult::kDone;
    if (got < 0) return CopyResult::kReadError;
    if (static_cast<uint64_t>(got) > budget - bytes) return CopyResult::kOverBudget;
    bytes += static_cast<uint64_t>(got);
    if (fd < 0) continue;
    la_ssize_t done = 0;
    while (done < got) {
      const ssize_t put = write(fd, buffer.data() + done, static_cast<std::size_t>(got - done));
      if (put <= 0) return CopyResult::kWriteError;
      done += put;
    }
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

bool Matches(const std::vector<std::string>& patterns, const std::string& baseName) {
  if (patterns.empty()) return true;
  for (const std::string& pattern : patterns) {
    if (MatchesPattern(baseName, pattern)) return true;
  }
  return false;
}

bool MatchesEverything(const std::vector<std::string>& patterns) {
  return patterns.empty() || Matches(patterns, "");
}

void Note(ExtractReport& report, const std::string& text) {
  if (report.firstProblem.empty()) report.firstProblem = text;
}

void SetModifiedTime(int fd, archive_entry* entry) {
  if (!archive_entry_mtime_is_set(entry)) return;
  const timespec times[2] = {{0, UTIME_OMIT}, {archive_entry_mtime(entry), archive_entry_mtime_nsec(entry)}};
  futimens(fd, times);
}

// Where a member goes, or nothing when it must not be written.
std::optional<std::vector<std::string>> TargetOf(const char* rawName, bool keepFolders) {
  if (rawName == nullptr) return std::nullopt;
  std::optional<std::vector<std::string>> components = SafeComponents(MemberNameToUtf8(rawName));
  if (components && !keepFolders) components = std::vector<std::string>{components->back()};
  return components;
}

std::string Key(const std::vector<std::string>& components) {
  std::string key;
  for (const std::string& part : components) key += part + '/';
  return key;
}

struct PendingLink {
  std::vector<std::string> components;
  std::string target;
  std::string shownName;
  uint64_t index;  // the member's place in the archive
};

// What one unpacking has done so far.
struct Unpacking {
  const ExtractRequest& request;
  DestinationFolder& destination;
  ExtractReport& report;
  uint64_t budget;  // unpacked bytes allowed
  uint64_t members = 0;
  uint64_t bytes = 0;
  // Symbolic links are made last, so that no member is written through one
  // and every link is judged against the finished tree.
  std::vector<PendingLink> links{};
  // For names that a pending link holds: the place of the last other member
  // of that name, which replaces a link that came before it.
  std::unordered_map<std::string, uint64_t> lastOtherMember{};

  void OverLimit(const std::string& why) {
    report.overLimit = true;
    report.firstProblem = why;
  }
  void TookName(const std::vector<std::string>& components) {
    const std::string key = Key(components);
    auto it = lastOtherMember.find(key);
    if (it != lastOtherMember.end()) it->second = members;
  }
};

// Writes one member; returns false when the unpacking must stop (the archive
// can no longer be read, or the limits are reached).
bool WriteMember(archive* a, archive_entry* entry, Unpacking& u) {
  const ExtractRequest& request = u.request;
  ExtractReport& report = u.report;
  if (++u.members > request.limits.maxMembers) {
    u.OverLimit(TooManyMembers(request.limits));
    return false;
  }
  const char* rawName = archive_entry_pathname(entry);
  std::string rawNameCopy = rawName != nullptr ? rawName : "";
  if (archive_format(a) == ARCHIVE_FORMAT_RAW) rawNameCopy = RawMemberName(request.archive);
  const std::string shownName = MemberNameToUtf8(rawNameCopy);

  const mode_t type = archive_entry_filetype(entry);
  const char* hardLink = archive_entry_hardlink(entry);
  const std::optional<std::vector<std::string>> target = TargetOf(rawNameCopy.c_str(), request.keepFolders);
  if (!target) {
    ++report.refused;
    Note(report, shownName);
    return archive_read_data_skip(a) != ARCHIVE_FATAL;
  }

  if (type == AE_IFDIR) {
    if (request.keepFolders && MatchesEverything(request.patterns)) {
      if (u.destination.MakeFolders(*target)) {
        ++report.written;
        u.TookName(*target);
      } else {
        ++report.failed;
        Note(report, shownName);
      }
    }
    return archive_read_data_skip(a) != ARCHIVE_FATAL;
  }
  if (!Matches(request.patterns, target->back())) return archive_read_data_skip(a) != ARCHIVE_FATAL;

  if (hardLink != nullptr) {
    const std::optional<std::vector<std::string>> linked = TargetOf(hardLink, request.keepFolders);
    if (linked && u.destination.CreateHardLink(*target, *linked)) {
      ++report.written;
      u.TookName(*target);
    } else {
      ++report.refused;
      Note(report, shownName);
    }
    return archive_read_data_skip(a) != ARCHIVE_FATAL;
  }
  if (type == AE_IFLNK) {
    const char* rawTarget = archive_entry_symlink(entry);
    std::string linkTarget = MemberNameToUtf8(rawTarget != nullptr ? rawTarget : "");
    if (LinkStaysInside(linkTarget, target->size() - 1)) {
      u.lastOtherMember.emplace(Key(*target), 0);
      u.links.push_back({*target, std::move(linkTarget), shownName, u.members});
    } else {
      ++report.refused;
      Note(report, shownName);
    }
    return archive_read_data_skip(a) != ARCHIVE_FATAL;
  }
  if (type != AE_IFREG && type != 0) {
    ++report.refused;  // devices, FIFOs and sockets are never made
    Note(report, shownName);
    return archive_read_data_skip(a) != ARCHIVE_FATAL;
  }

  if (const std::optional<uint64_t> declared = DeclaredSize(a, entry); declared && *declared > u.budget - u.bytes) {
    u.OverLimit(TooManyBytes(u.budget, request.limits));
    return false;
  }
  const bool executable = (archive_entry_perm(entry) & 0111) != 0;
  NewFile file = u.destination.CreateFile(*target, executable);
  if (!file.IsOpen()) {
    ++report.failed;
    Note(report, shownName);
    return archive_read_data_skip(a) != ARCHIVE_FATAL;
  }
  switch (CopyData(a, file.fd(), u.bytes, u.budget)) {
    case CopyResult::kDone:
      break;
    case CopyResult::kOverBudget:
      u.OverLimit(TooManyBytes(u.budget, request.limits));
      return false;  // the file is removed with `file`
    case CopyResult::kReadError:
      ++report.failed;
      Note(report, shownName + ": " + ErrorText(a));
      return false;  // the data could not be decoded: the archive is broken from here on
    case CopyResult::kWriteError:
      ++report.failed;
      Note(report, shownName);
      return archive_read_data_skip(a) != ARCHIVE_FATAL;
  }
  SetModifiedTime(file.fd(), entry);
  if (!file.Commit()) {
    ++report.failed;
    Note(report, shownName);
    return true;
  }
  ++report.written;
  u.TookName(*target);
  return true;
}

void MakeLinks(Unpacking& u) {
  for (const PendingLink& link : u.links) {
    const auto other = u.lastOtherMember.find(Key(link.components));
    if (other != u.lastOtherMember.end() && other->second > link.index) continue;  // a later member took the name
    if (u.destination.CreateSymlink(link.components, link.target)) {
      ++u.report.written;
    } else {
      ++u.report.refused;
      Note(u.report, link.shownName);
    }
  }
}

}  // namespace

ArchiveListing ListArchive(ArchiveFamily family, const std::string& path, ListingDepth depth,
                           const ArchiveLimits& limits) {
  ArchiveListing listing;
  Reader reader = OpenReader(family, path);
  if (!reader) return listing;
  archive* a = reader.get();
  archive_entry* entry = nullptr;
  for (;;) {
    const int status = archive_read_next_header(a, &entry);
    if (status < ARCHIVE_WARN && status != ARCHIVE_EOF) {
      listing.problem = ErrorText(a);
      return listing;
    }
    if (!listing.opened) {
      if (IsBareRaw(a)) return listing;
      listing.opened = true;
      listing.format = FormatWord(a);
    }
    if (status == ARCHIVE_EOF) {
      listing.complete = true;
      return listing;
    }
    if (++listing.members > limits.maxMembers) {
      listing.overLimit = true;
      listing.problem = TooManyMembers(limits);
      return listing;
    }
    if (IsFileWithData(entry)) {
      if (const std::optional<uint64_t> declared = DeclaredSize(a, entry)) {
        listing.bytes += *declared;  // never overflows: each sum stays below 2^63 + the limit
      } else if (depth == ListingDepth::Sizes) {
        const CopyResult counted = CopyData(a, -1, listing.bytes, limits.maxBytes);
        if (counted == CopyResult::kReadError) {
          listing.problem = ErrorText(a);
          return listing;
        }
        if (counted == CopyResult::kOverBudget) {
          listing.overLimit = true;
          listing.problem = TooManyBytes(limits.maxBytes, limits);
          return listing;
        }
      } else {
        listing.sizesKnown = false;
      }
    }
    if (listing.bytes > limits.maxBytes) {
      listing.overLimit = true;
      listing.problem = TooManyBytes(limits.maxBytes, limits);
      return listing;
    }
    if (depth == ListingDepth::Headers && SkipsByDecoding(a)) {
      listing.complete = true;
      return listing;
    }
  }
}

bool ArchiveIsReadable(ArchiveFamily family, const std::string& path) {
  const ArchiveListing listing = ListArchive(family, path, ListingDepth::Headers);
  return listing.opened && (listing.complete || listing.overLimit);
}

ExtractReport ExtractArchive(ArchiveFamily family, const ExtractRequest& request) {
  ExtractReport report;
  // The limits first, from the headers, before anything is written.
  const ArchiveListing listing = ListArchive(family, request.archive, ListingDepth::Headers, request.limits);
  if (!listing.opened) return report;
  report.archiveOpened = true;
  const uint64_t budget = ByteBudget(request.limits, request.destination);
  if (listing.overLimit || listing.bytes > budget) {
    report.overLimit = true;
    report.firstProblem = listing.overLimit ? listing.problem : TooManyBytes(budget, request.limits);
    return report;
  }
  if (!listing.complete) {
    report.firstProblem = listing.problem;
    return report;
  }

  Reader reader = OpenReader(family, request.archive);
  if (!reader) return report;
  archive* a = reader.get();
  archive_entry* entry = nullptr;
  int status = archive_read_next_header(a, &entry);
  if ((status < ARCHIVE_WARN && status != ARCHIVE_EOF) || IsBareRaw(a)) return report;
  DestinationFolder destination(request.destination);
  report.destinationOk = destination.IsOpen();
  if (!report.destinationOk) return report;
  Unpacking unpacking{request, destination, report, budget};
  for (;;) {
    if (status == ARCHIVE_EOF) {
      report.archiveRead = true;
      break;
    }
    if (status < ARCHIVE_WARN) {
      Note(report, ErrorText(a));
      break;
    }
    if (!WriteMember(a, entry, unpacking)) break;
    status = archive_read_next_header(a, &entry);
  }
  MakeLinks(unpacking);
  if (!report.archiveRead || report.overLimit) destination.RemoveIfMadeAndEmpty();
  return report;
}

}  // namespace qorve::archiver
