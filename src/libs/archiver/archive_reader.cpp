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

// Copies the current member's data into `fd`; false on a read or write error.
bool CopyData(archive* a, int fd) {
  std::array<char, kCopyBuffer> buffer;
  for (;;) {
    const la_ssize_t got = archive_read_data(a, buffer.data(), buffer.size());
    if (got == 0) return true;
    if (got < 0) return false;
    la_ssize_t done = 0;
    while (done < got) {
      const ssize_t put = write(fd, buffer.data() + done, static_cast<std::size_t>(got - done));
      if (put <= 0) return false;
      done += put;
    }
  }
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

// Writes one member; returns false only when the archive can no longer be read.
bool WriteMember(archive* a, archive_entry* entry, const ExtractRequest& request, DestinationFolder& destination,
                 ExtractReport& report) {
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
      if (destination.MakeFolders(*target)) {
        ++report.written;
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
    if (linked && destination.CreateHardLink(*target, *linked)) {
      ++report.written;
    } else {
      ++report.refused;
      Note(report, shownName);
    }
    return archive_read_data_skip(a) != ARCHIVE_FATAL;
  }
  if (type == AE_IFLNK) {
    const char* rawTarget = archive_entry_symlink(entry);
    const std::string linkTarget = MemberNameToUtf8(rawTarget != nullptr ? rawTarget : "");
    if (LinkStaysInside(linkTarget, target->size() - 1) && destination.CreateSymlink(*target, linkTarget)) {
      ++report.written;
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

  const bool executable = (archive_entry_perm(entry) & 0111) != 0;
  const int fd = destination.CreateFile(*target, executable);
  if (fd < 0) {
    ++report.failed;
    Note(report, shownName);
    return archive_read_data_skip(a) != ARCHIVE_FATAL;
  }
  const bool copied = CopyData(a, fd);
  SetModifiedTime(fd, entry);
  close(fd);
  if (!copied) {
    ++report.failed;
    Note(report, shownName);
    return false;  // the data could not be decoded: the archive is broken from here on
  }
  ++report.written;
  return true;
}

}  // namespace

bool ArchiveIsReadable(ArchiveFamily family, const std::string& path) {
  Reader reader = OpenReader(family, path);
  if (!reader) return false;
  archive* a = reader.get();
  archive_entry* entry = nullptr;
  std::array<char, kCopyBuffer> scratch;
  for (;;) {
    const int status = archive_read_next_header(a, &entry);
    if (status == ARCHIVE_EOF) return !IsBareRaw(a);
    if (status < ARCHIVE_WARN) return false;
    if (IsBareRaw(a)) return false;
    la_ssize_t got;
    while ((got = archive_read_data(a, scratch.data(), scratch.size())) > 0) {
    }
    if (got < 0) return false;
  }
}

ExtractReport ExtractArchive(ArchiveFamily family, const ExtractRequest& request) {
  ExtractReport report;
  Reader reader = OpenReader(family, request.archive);
  if (!reader) return report;
  archive* a = reader.get();
  archive_entry* entry = nullptr;
  // The destination is made only once the archive proves to be of the family.
  int status = archive_read_next_header(a, &entry);
  if ((status < ARCHIVE_WARN && status != ARCHIVE_EOF) || IsBareRaw(a)) return report;
  report.archiveOpened = true;
  DestinationFolder destination(request.destination);
  report.destinationOk = destination.IsOpen();
  if (!report.destinationOk) return report;
  for (;;) {
    if (status == ARCHIVE_EOF) {
      report.archiveRead = true;
      break;
    }
    if (status < ARCHIVE_WARN) break;
    if (!WriteMember(a, entry, request, destination, report)) break;
    status = archive_read_next_header(a, &entry);
  }
  return report;
}

}  // namespace qorve::archiver
