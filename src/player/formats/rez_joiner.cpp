#include "player/formats/rez_joiner.h"

#include "player/core/media_file.h"
#include "platform/text.h"

#include <array>
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

bool AppendFile(std::ifstream& part, std::ofstream& output) {
  std::array<char, kCopyBuffer> buffer;
  while (part) {
    part.read(buffer.data(), buffer.size());
    const std::streamsize got = part.gcount();
    if (got > 0 && !output.write(buffer.data(), got)) return false;
  }
  return part.eof() && output.flush();
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

int JoinSplitFile(const std::string& controlPath, std::string& missingPart) {
  std::string bytes;
  {
    std::ifstream control(controlPath, std::ios::binary);
    if (!control) return kResultFileNotFound;
    bytes.resize(kMaxControlSize);
    control.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(control.gcount()));
  }
  RezControl rez;
  const RezParse parsed = ParseRezControl(bytes, rez);
  if (parsed == RezParse::kNotRez) return kResultUnsupported;
  if (parsed == RezParse::kTruncated) return kResultBrokenFile;

  // Every name is checked before anything on disk changes.
  const fs::path folder = fs::path(controlPath).parent_path();
  const std::optional<fs::path> output = InsideFolder(folder, rez.outputName);
  if (!output) return kResultBrokenFile;
  std::vector<fs::path> parts;
  for (const std::string& name : rez.partNames) {
    const std::optional<fs::path> part = InsideFolder(folder, name);
    if (!part) return kResultBrokenFile;
    parts.push_back(*part);
  }

  fs::path backup = *output;
  backup += ".BAK";
  std::error_code ec;
  fs::remove(backup, ec);
  if (fs::exists(*output, ec)) fs::rename(*output, backup, ec);
  // Appending to an output that could not be moved aside would corrupt it.
  if (fs::exists(*output, ec)) return kResultUnknownError;

  for (std::size_t i = 0; i < parts.size(); ++i) {
    std::ifstream part(parts[i], std::ios::binary);
    if (!part || fs::is_directory(parts[i], ec)) {
      missingPart = TextToUtf8(rez.partNames[i]);
      return kResultBrokenFile;
    }
    std::ofstream out(*output, std::ios::binary | std::ios::app);
    if (!out || !AppendFile(part, out)) return kResultUnknownError;
  }
  return kResultNothingToPlay;
}

}  // namespace qorve
