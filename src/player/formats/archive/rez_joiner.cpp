#include "player/formats/archive/rez_joiner.h"

#include "platform/system/text.h"
#include "player/core/media_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>

namespace qorve {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kMagicSize = 4;
constexpr std::size_t kHeaderUnused = 5;
constexpr std::size_t kPartUnused = 6;
// The largest valid control file: a 12-byte head, a 255-byte output name and
// 255 part records of 8 + 255 bytes. Anything beyond is never read.
constexpr std::size_t kMaxControlSize = 12 + 255 + 255 * (8 + 255);
constexpr std::size_t kCopyBuffer = 65536;
constexpr std::size_t kTemporaryNameStem = 100;  // bytes of the output's name

class ByteCursor {
 public:
  explicit ByteCursor(std::string_view bytes) : bytes_(bytes) {}
  bool Skip(std::size_t count) {
    if (bytes_.size() - position_ < count) return false;
    position_ += count;
    return true;
  }
  bool Byte(std::size_t& value) {
    if (position_ >= bytes_.size()) return false;
    value = static_cast<unsigned char>(bytes_[position_++]);
    return true;
  }
  bool Text(std::size_t length, std::string& out) {
    if (bytes_.size() - position_ < length) return false;
    out.assign(bytes_.substr(position_, length));
    position_ += length;
    return true;
  }

 private:
  std::string_view bytes_;
  std::size_t position_ = 0;
};

// The path of a stored name inside `folder`, or nothing when the name is empty,
// absolute or climbs out of the folder ("\" counts as a separator, as the
// files come from Windows).
std::optional<fs::path> InsideFolder(const fs::path& folder, const std::string& rawName) {
  std::string name = TextToUtf8(rawName);
  for (char& c : name) {
    if (c == '\\') c = '/';
  }
  const fs::path relative = fs::path(name).lexically_normal();
  if (name.empty() || name.find('\0') != std::string::npos || relative.is_absolute() || relative.has_root_name()) {
    return std::nullopt;
  }
  for (const fs::path& part : relative) {
    if (part == "..") return std::nullopt;
  }
  if (relative.filename().empty() || relative == ".") return std::nullopt;
  return folder / relative;
}

// Whether two names reach one file: the same inode (hard links, links, a file
// system blind to case), or the same path once links and "." and ".." are
// resolved, compared without ASCII case because the control files come from
// Windows, where names that differ only in case name one file.
bool SameFile(const fs::path& a, const fs::path& b) {
  std::error_code ec;
  if (fs::equivalent(a, b, ec) && !ec) return true;
  std::error_code ecA;
  std::error_code ecB;
  const fs::path resolvedA = fs::weakly_canonical(a, ecA);
  const fs::path resolvedB = fs::weakly_canonical(b, ecB);
  if (ecA || ecB) return EqualsIgnoreCase(a.lexically_normal().string(), b.lexically_normal().string());
  return EqualsIgnoreCase(resolvedA.string(), resolvedB.string());
}

// The joined file while it grows: a new file with a hidden name of its own in
// the output's folder, so that renaming it to the output replaces nothing
// before the join is whole. Removed again unless it was given the output's name.
class TemporaryOutput {
 public:
  TemporaryOutput() = default;
  TemporaryOutput(const TemporaryOutput&) = delete;
  TemporaryOutput& operator=(const TemporaryOutput&) = delete;
  ~TemporaryOutput() {
    if (fd_ >= 0) ::close(fd_);
    if (!path_.empty()) ::unlink(path_.c_str());
  }

  bool Create(const fs::path& output) {
    static std::atomic<unsigned> counter{0};
    const auto clock = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
    for (int attempt = 0; attempt < 100; ++attempt) {
      // A shortened name keeps the temporary one within the name length
      // limit wherever the output's own name fits.
      fs::path candidate = output;
      candidate.replace_filename("." + std::string(CutUtf8(output.filename().string(), kTemporaryNameStem)) +
                                 ".joining-" + std::to_string(getpid()) + "-" +
                                 std::to_string((clock + counter++) % 1000000007ULL));
      // The mode before the umask, as for any file the program creates.
      fd_ = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
      if (fd_ >= 0) {
        path_ = candidate;
        return true;
      }
      if (errno != EEXIST) return false;
    }
    return false;
  }

  bool Write(const char* bytes, std::size_t size) {
    while (size > 0) {
      const ssize_t written = ::write(fd_, bytes, size);
      if (written < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      bytes += written;
      size -= static_cast<std::size_t>(written);
    }
    return true;
  }

  bool Append(std::ifstream& part) {
    std::array<char, kCopyBuffer> buffer;
    while (part) {
      part.read(buffer.data(), buffer.size());
      const std::streamsize got = part.gcount();
      if (got > 0 && !Write(buffer.data(), static_cast<std::size_t>(got))) return false;
    }
    return part.eof();
  }

  // Closes the file and gives it the output's name.
  bool RenameTo(const fs::path& output) {
    const bool closed = ::close(fd_) == 0;
    fd_ = -1;
    if (!closed || std::rename(path_.c_str(), output.c_str()) != 0) return false;
    path_.clear();
    return true;
  }

 private:
  int fd_ = -1;
  fs::path path_;
};

// Moves an existing output to its backup (deleting an older backup) and puts
// the joined file in its place. An output that cannot be moved aside stays as
// it is; one that was moved comes back when the joined file cannot take its
// name.
bool ReplaceOutput(TemporaryOutput& joined, const fs::path& output, const fs::path& backup) {
  std::error_code ec;
  fs::remove(backup, ec);
  const bool hadOutput = fs::exists(fs::symlink_status(output, ec));
  if (hadOutput) {
    fs::rename(output, backup, ec);
    if (ec) return false;
  }
  if (joined.RenameTo(output)) return true;
  if (hadOutput) fs::rename(backup, output, ec);
  return false;
}

}  // namespace

RezParse ParseRezControl(std::string_view bytes, RezControl& out) {
  if (bytes.size() < kMagicSize || bytes[3] != '\0' || !EqualsIgnoreCase(bytes.substr(0, 3), "REZ")) {
    return RezParse::kNotRez;
  }
  ByteCursor cursor(bytes);
  cursor.Skip(kMagicSize);
  std::size_t parts = 0;
  std::size_t length = 0;
  if (!cursor.Byte(parts) || !cursor.Skip(kHeaderUnused) || !cursor.Byte(length) || !cursor.Skip(1) ||
      !cursor.Text(length, out.outputName)) {
    return RezParse::kTruncated;
  }
  out.partNames.assign(parts, std::string());
  for (std::string& name : out.partNames) {
    if (!cursor.Skip(kPartUnused) || !cursor.Byte(length) || !cursor.Skip(1) || !cursor.Text(length, name)) {
      return RezParse::kTruncated;
    }
  }
  return RezParse::kOk;
}

int PlanSplitFile(const std::string& controlPath, RezPlan& plan, std::string& missingPart) {
  std::string bytes;
  {
    std::ifstream control(controlPath, std::ios::binary);
    if (!control) return kResultFileNotFound;
    bytes.resize(kMaxControlSize);
    control.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(control.gcount()));
  }
  const RezParse parsed = ParseRezControl(bytes, plan.control);
  if (parsed == RezParse::kNotRez) return kResultUnsupported;
  if (parsed == RezParse::kTruncated) return kResultBrokenFile;
  plan.controlRead = true;

  const fs::path folder = fs::path(controlPath).parent_path();
  const std::optional<fs::path> output = InsideFolder(folder, plan.control.outputName);
  if (!output) return kResultBrokenFile;
  plan.output = *output;
  for (const std::string& name : plan.control.partNames) {
    const std::optional<fs::path> part = InsideFolder(folder, name);
    if (!part) return kResultBrokenFile;
    plan.parts.push_back(*part);
  }

  plan.backup = plan.output;
  plan.backup += ".BAK";
  // An output or backup that is also read would be appended to itself without
  // end, or deleted before it is read; the control file must survive too.
  for (const fs::path& written : {plan.output, plan.backup}) {
    if (SameFile(written, controlPath)) return kResultBrokenFile;
    for (const fs::path& part : plan.parts) {
      if (SameFile(written, part)) return kResultBrokenFile;
    }
  }
  std::error_code ec;
  // A folder of the output's name would be moved aside whole.
  if (fs::is_directory(plan.output, ec)) return kResultUnknownError;

  for (std::size_t i = 0; i < plan.parts.size(); ++i) {
    // Only regular files: a FIFO or device would block the join or never end.
    const bool readable = fs::is_regular_file(plan.parts[i], ec) &&
                          std::ifstream(plan.parts[i], std::ios::binary).is_open();
    const uintmax_t size = readable ? fs::file_size(plan.parts[i], ec) : 0;
    if (!readable || ec) {
      missingPart = TextToUtf8(plan.control.partNames[i]);
      return kResultBrokenFile;
    }
    plan.joinedBytes += size;
  }
  return kResultNothingToPlay;
}

int JoinSplitFile(const std::string& controlPath, std::string& missingPart) {
  // Every name is checked before anything on disk changes.
  RezPlan plan;
  const int planned = PlanSplitFile(controlPath, plan, missingPart);
  if (planned != kResultNothingToPlay) return planned;

  TemporaryOutput joined;
  if (!joined.Create(plan.output)) return kResultUnknownError;
  std::error_code ec;
  for (std::size_t i = 0; i < plan.parts.size(); ++i) {
    // Checked again: a part may have gone while the ones before it were copied.
    std::ifstream part;
    if (fs::is_regular_file(plan.parts[i], ec)) part.open(plan.parts[i], std::ios::binary);
    if (!part.is_open() || !part) {
      missingPart = TextToUtf8(plan.control.partNames[i]);
      return kResultBrokenFile;
    }
    if (!joined.Append(part)) return kResultUnknownError;
  }
  if (!ReplaceOutput(joined, plan.output, plan.backup)) return kResultUnknownError;
  return kResultNothingToPlay;
}

}  // namespace qorve
