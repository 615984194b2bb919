#include "archive_reader.h"

#include "command_line.h"
#include "destination_folder.h"
#include "member_name.h"
#include "sources/member_source.h"

#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <optional>
#include <unordered_map>

namespace qorve::archiver {
namespace {

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

// Writes decoded bytes into `fd` (or only counts them when fd < 0), adding
// them to `bytes`; refuses a block as soon as `bytes` would pass `budget`
// (overBudget), or when the file cannot take it.
class CountingSink final : public MemberSink {
 public:
  CountingSink(int fd, uint64_t& bytes, uint64_t budget) : fd_(fd), bytes_(bytes), budget_(budget) {}

  bool Take(const char* data, std::size_t size) override {
    if (size > budget_ - bytes_) {
      overBudget = true;
      return false;
    }
    bytes_ += size;
    std::size_t done = 0;
    while (fd_ >= 0 && done < size) {
      const ssize_t put = write(fd_, data + done, size - done);
      if (put <= 0) return false;
      done += static_cast<std::size_t>(put);
    }
    return true;
  }

  bool overBudget = false;

 private:
  int fd_;
  uint64_t& bytes_;
  uint64_t budget_;
};

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

void SetModifiedTime(int fd, const MemberHeader& header) {
  if (!header.modified) return;
  const timespec times[2] = {{0, UTIME_OMIT}, *header.modified};
  futimens(fd, times);
}

// Where a member goes, or nothing when it must not be written.
std::optional<std::vector<std::string>> TargetOf(const std::string& rawName, bool keepFolders) {
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
bool WriteMember(MemberSource& source, const MemberHeader& header, Unpacking& u) {
  const ExtractRequest& request = u.request;
  ExtractReport& report = u.report;
  if (++u.members > request.limits.maxMembers) {
    u.OverLimit(TooManyMembers(request.limits));
    return false;
  }
  const std::string shownName = MemberNameToUtf8(header.name);
  const std::optional<std::vector<std::string>> target = TargetOf(header.name, request.keepFolders);
  if (!target) {
    ++report.refused;
    Note(report, shownName);
    return source.SkipData();
  }

  if (header.kind == MemberKind::kFolder) {
    if (request.keepFolders && MatchesEverything(request.patterns)) {
      if (u.destination.MakeFolders(*target)) {
        ++report.written;
        u.TookName(*target);
      } else {
        ++report.failed;
        Note(report, shownName);
      }
    }
    return source.SkipData();
  }
  if (!Matches(request.patterns, target->back())) return source.SkipData();

  if (header.kind == MemberKind::kHardLink) {
    const std::optional<std::vector<std::string>> linked = TargetOf(header.linkTarget, request.keepFolders);
    if (linked && u.destination.CreateHardLink(*target, *linked)) {
      ++report.written;
      u.TookName(*target);
    } else {
      ++report.refused;
      Note(report, shownName);
    }
    return source.SkipData();
  }
  if (header.kind == MemberKind::kSymlink) {
    std::string linkTarget = MemberNameToUtf8(header.linkTarget);
    if (LinkStaysInside(linkTarget, target->size() - 1)) {
      u.lastOtherMember.emplace(Key(*target), 0);
      u.links.push_back({*target, std::move(linkTarget), shownName, u.members});
    } else {
      ++report.refused;
      Note(report, shownName);
    }
    return source.SkipData();
  }
  if (header.kind != MemberKind::kFile) {
    ++report.refused;  // devices, FIFOs and sockets are never made
    Note(report, shownName);
    return source.SkipData();
  }

  if (header.size && *header.size > u.budget - u.bytes) {
    u.OverLimit(TooManyBytes(u.budget, request.limits));
    return false;
  }
  NewFile file = u.destination.CreateFile(*target, header.executable);
  if (!file.IsOpen()) {
    ++report.failed;
    Note(report, shownName);
    return source.SkipData();
  }
  CountingSink sink(file.fd(), u.bytes, u.budget);
  switch (source.ReadData(sink)) {
    case DataStatus::kDone:
      break;
    case DataStatus::kStopped:
      if (sink.overBudget) {
        u.OverLimit(TooManyBytes(u.budget, request.limits));
        return false;  // the file is removed with `file`
      }
      ++report.failed;
      Note(report, shownName);
      return source.SkipData();
    case DataStatus::kBroken:
      ++report.failed;
      Note(report, shownName + ": " + source.Problem());
      return false;  // the data could not be decoded: the archive is broken from here on
  }
  SetModifiedTime(file.fd(), header);
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
  std::unique_ptr<MemberSource> source = OpenMemberSource(family, path);
  if (!source) return listing;
  listing.opened = true;
  listing.format = source->Format();
  MemberHeader header;
  for (;;) {
    const NextStatus status = source->Next(header);
    if (status == NextStatus::kBroken) {
      listing.problem = source->Problem();
      return listing;
    }
    if (status == NextStatus::kEnd) {
      listing.complete = true;
      return listing;
    }
    if (++listing.members > limits.maxMembers) {
      listing.overLimit = true;
      listing.problem = TooManyMembers(limits);
      return listing;
    }
    if (header.kind == MemberKind::kFile) {
      if (header.size) {
        listing.bytes += *header.size;  // never overflows: each sum stays below 2^63 + the limit
      } else if (depth == ListingDepth::Sizes) {
        CountingSink counter(-1, listing.bytes, limits.maxBytes);
        const DataStatus counted = source->ReadData(counter);
        if (counted == DataStatus::kBroken) {
          listing.problem = source->Problem();
          return listing;
        }
        if (counted == DataStatus::kStopped) {
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
    if (depth == ListingDepth::Headers && source->NextNeedsDecoding()) {
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

  std::unique_ptr<MemberSource> source = OpenMemberSource(family, request.archive);
  if (!source) return report;
  DestinationFolder destination(request.destination);
  report.destinationOk = destination.IsOpen();
  if (!report.destinationOk) return report;
  Unpacking unpacking{request, destination, report, budget};
  MemberHeader header;
  for (;;) {
    const NextStatus status = source->Next(header);
    if (status == NextStatus::kEnd) {
      report.archiveRead = true;
      break;
    }
    if (status == NextStatus::kBroken) {
      Note(report, source->Problem());
      break;
    }
    if (!WriteMember(*source, header, unpacking)) break;
  }
  MakeLinks(unpacking);
  if (!report.archiveRead || report.overLimit) destination.RemoveIfMadeAndEmpty();
  return report;
}

}  // namespace qorve::archiver
