#include "downloader/lha_extract.h"

#include <optional>
#include <vector>

#include "downloader/lha_decoder.h"
#include "downloader/lha_header.h"
#include "platform/text.h"

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

}  // namespace

int LhaExtractFrom(ByteSource& archive, std::string_view wantedName, const LhaOutputOpener& openOutput) {
  const int64_t start = LhaFindStart(archive);
  if (start < 0) return 0;
  uint64_t next = static_cast<uint64_t>(start);
  LhaHeader header;
  while (archive.Seek(next) && LhaReadHeader(archive, header)) {
    const std::string& name = header.name;
    const bool wanted = SameMemberName(name, wantedName) && !name.starts_with('!') && !name.starts_with('$') &&
                        !name.starts_with('%');
    if (wanted) {
      if (const auto path = OutputPath(name, wantedName)) {
        std::unique_ptr<ByteSink> output = openOutput(*path);
        if (output && archive.Seek(header.dataOffset)) {
          LhaDecode(header.method, archive, header.compressedSize, *output, header.uncompressedSize);
        }
      }
    }
    next = header.dataOffset + header.compressedSize;
  }
  return 1;
}

int LhaExtract(const std::filesystem::path& archivePath, std::string_view wantedName,
               const std::filesystem::path& outputFolder) {
  FileSource archive(archivePath);
  if (!archive.IsOpen()) return 0;
  return LhaExtractFrom(archive, wantedName, [&](const std::filesystem::path& relative) -> std::unique_ptr<ByteSink> {
    auto sink = std::make_unique<FileSink>(outputFolder.empty() ? relative : outputFolder / relative);
    if (!sink->IsOpen()) return nullptr;
    return sink;
  });
}

}  // namespace qorve
