// One archive's members as a library reads them, one after another: the
// header (name, kind, size, link target) and then the data, decoded into a
// sink. Each library (libarchive, liblhasa, libmspack, unarr) fills this face in its
// own file; archive_reader.cpp lists, checks and unpacks over it, so that the
// rules an archive is held to stay in one place and no reader needs its own.
//
// Order of calls: Next() gives a member; then at most one of ReadData() or
// SkipData(); then Next() again, until it says kEnd or kBroken. A member whose
// data were left unread is skipped by the next Next().
#pragma once

#include "libs/archiver/archive_reader.h"

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string>

namespace qorve::archiver {

enum class MemberKind {
  kFile,
  kFolder,
  kSymlink,   // linkTarget holds the link's text
  kHardLink,  // linkTarget holds the name of the member it shares its data with
  kOther,     // devices, FIFOs and sockets: never made
};

struct MemberHeader {
  // The name's bytes as stored (CP932 or UTF-8, "/" or "\" between folders);
  // MemberNameToUtf8 and SafeComponents judge it.
  std::string name;
  MemberKind kind = MemberKind::kFile;
  // Unpacked bytes, when the header gives them (a single compressed file has
  // none). An upper bound that decoding is held to as well.
  std::optional<uint64_t> size;
  std::string linkTarget;  // raw bytes as stored, like the name
  bool executable = false;
  std::optional<timespec> modified;
};

// Receives a member's decoded bytes in order.
class MemberSink {
 public:
  virtual ~MemberSink() = default;
  // False stops the decoding: ReadData then returns kStopped.
  virtual bool Take(const char* data, std::size_t size) = 0;
};

enum class NextStatus { kMember, kEnd, kBroken };
enum class DataStatus {
  kDone,     // every byte of the member arrived and its check value matched
  kBroken,   // the data could not be decoded, or decoded wrong: the archive is broken from here on
  kStopped,  // the sink refused a block
};

class MemberSource {
 public:
  virtual ~MemberSource() = default;

  // The format as the extensions people know name it: "LHA", "CAB", "ZIP",
  // "RAR", "RAR5", "TAR", "TAR.GZ", "GZ", ...
  virtual std::string Format() const = 0;

  // Whether reaching the next header means decoding the data before it (a
  // compressed stream, a possibly solid RAR archive): then a listing of
  // headers only stops after the first.
  virtual bool NextNeedsDecoding() const = 0;

  virtual NextStatus Next(MemberHeader& header) = 0;
  virtual DataStatus ReadData(MemberSink& sink) = 0;
  // False when the archive cannot be read any further.
  virtual bool SkipData() = 0;

  // Why the last call failed, in a few words.
  virtual std::string Problem() const = 0;
};

// The reader of `family` over the file at `path`; null when the file is not
// one of the family's formats (or cannot be opened). LHA goes to liblhasa,
// cabinets to libmspack, RAR 4 to unarr, the others to libarchive.
std::unique_ptr<MemberSource> OpenMemberSource(ArchiveFamily family, const std::string& path);

}  // namespace qorve::archiver
