#include "downloader/lha/lha_extract.h"

#include <optional>
#include <vector>

#include "downloader/lha/lha_decoder.h"
#include "downloader/lha/lha_header.h"
#include "platform/system/text.h"

namespace qorve {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

char FoldCase(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameMemberName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (IsSeparator(a[i]) && IsSeparator(b[i])) continue;
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  }
  return true;
}

// The member's relative output path, or nothing when the name is empty,
// absolute or climbs out of the folder. The last part is replaced by the
// wanted name's spelling (equal to it but for letter case).
std::optional<std::filesystem::path> OutputPath(std::string_view memberName, std::string_view wantedName) {
  if (memberName.empty() || IsSeparator(memberName.front())) return std::nullopt;
  std::vector<std::string> parts;
  std::string part;
  for (std::size_t i = 0; i <= memberName.size(); ++i) {
    if (i == memberName.size() || IsSeparator(memberName[i])) {
      if (part == "..") return std::nullopt;
      if (!part.empty() && part != ".") parts.push_back(part);
      part.clear();
    } else {
      part += memberName[i];
    }
  }
  if (parts.empty() || IsSeparator(memberName.back())) return std::nullopt;
  const std::size_t lastSeparator = wantedName.find_last_of("\\/");
  parts.back() = std::string(lastSeparator == std::string_view::npos ? wantedName
                                                                     : wantedName.substr(lastSeparator + 1));
  std::filesystem::path path;
  for (const std::string& p : parts) path /= TextToUtf8(p);
  return path;
}

bool Wanted(std::string_view memberName, std::string_view wantedName) {
  return SameMemberName(memberName, wantedName) && !memberName.starts_with('!') && !memberName.starts_with('$') &&
         !memberName.starts_with('%');
}

// Calls `visit` with every header from `start` on until the end of the
// archive, the first invalid header, or `visit` returning false.
template <typename Visit>
void WalkHeaders(ByteSource& archive, uint64_t start, Visit visit) {
  uint64_t next = start;
  LhaHeader header;
  while (archive.Seek(next) && LhaReadHeader(archive, header)) {
    if (!visit(header)) return;
    next = header.dataOffset + header.compressedSize;
  }
}

// Whether the archive stays within `bounds` by what its headers say. LhaDecode
// never writes more than LhaDecodedBytes, so the sum here bounds the writing.
bool WithinBounds(ByteSource& archive, uint64_t start, std::string_view wantedName, const LhaBounds& bounds) {
  uint64_t members = 0;
  uint64_t bytes = 0;
  bool within = true;
  WalkHeaders(archive, start, [&](const LhaHeader& header) {
    if (++members > bounds.maxMembers) return within = false;
    if (Wanted(header.name, wantedName) && OutputPath(header.name, wantedName)) {
      bytes += LhaDecodedBytes(header.method, header.compressedSize, header.uncompressedSize);
      if (bytes > bounds.maxBytes) return within = false;
    }
    return true;
  });
  return within;
}

}  // namespace

int LhaExtractFrom(ByteSource& archive, std::string_view wantedName, const LhaOutputOpener& openOutput,
                   const LhaBounds& bounds) {
  const int64_t start = LhaFindStart(archive);
  if (start < 0) return kLhaNoArchive;
  if (!WithinBounds(archive, static_cast<uint64_t>(start), wantedName, bounds)) return kLhaRefused;
  int result = kLhaWalked;
  WalkHeaders(archive, static_cast<uint64_t>(start), [&](const LhaHeader& header) {
    if (!Wanted(header.name, wantedName)) return true;
    const auto path = OutputPath(header.name, wantedName);
    if (!path) return true;
    const std::unique_ptr<ByteSink> output = openOutput(*path);
    if (!output) return true;
    if (!archive.Seek(header.dataOffset) ||
        !LhaDecode(header.method, archive, header.compressedSize, *output, header.uncompressedSize) ||
        !output->Finish()) {
      output->Abandon();
      result = kLhaRefused;
      return false;
    }
    return true;
  });
  return result;
}

int LhaExtract(const std::filesystem::path& archivePath, std::string_view wantedName,
               const std::filesystem::path& outputFolder, const archiver::ArchiveLimits& limits) {
  FileSource archive(archivePath);
  if (!archive.IsOpen()) return kLhaNoArchive;
  const LhaBounds bounds{archiver::ByteBudget(limits, outputFolder.string()), limits.maxMembers};
  return LhaExtractFrom(
      archive, wantedName,
      [&](const std::filesystem::path& relative) -> std::unique_ptr<ByteSink> {
        auto sink = std::make_unique<FileSink>(outputFolder.empty() ? relative : outputFolder / relative);
        if (!sink->IsOpen()) return nullptr;
        return sink;
      },
      bounds);
}

}  // namespace qorve
