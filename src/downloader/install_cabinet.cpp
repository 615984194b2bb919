#include "downloader/install_cabinet.h"

#include "downloader/library_copy.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <system_error>
#include <vector>

#include "platform/system/text.h"

namespace qorve {
namespace {

constexpr std::array<uint8_t, 5> kSignature{0x4D, 0x53, 0x43, 0x46, 0x00};  // "MSCF\0"
constexpr std::size_t kPiece = 65536;

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Offset of the first signature, -1 when none. Reads in pieces that overlap
// by the signature's length so that a signature across two pieces is found.
int64_t FindSignature(std::FILE* in) {
  std::vector<uint8_t> piece(kPiece + kSignature.size());
  std::size_t kept = 0;
  int64_t pieceStart = 0;
  for (;;) {
    const std::size_t got = std::fread(piece.data() + kept, 1, kPiece, in);
    const std::size_t size = kept + got;
    const auto hit = std::search(piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(size), kSignature.begin(),
                                 kSignature.end());
    if (hit != piece.begin() + static_cast<std::ptrdiff_t>(size)) return pieceStart + (hit - piece.begin());
    if (got == 0) return -1;
    kept = std::min(size, kSignature.size() - 1);
    std::memmove(piece.data(), piece.data() + size - kept, kept);
    pieceStart += static_cast<int64_t>(size - kept);
  }
}

}  // namespace

bool CutOutCabinet(const std::filesystem::path& source, const std::filesystem::path& cabinet, uint64_t maxBytes) {
  File in(std::fopen(source.c_str(), "rb"));
  if (!in) return false;
  const int64_t start = FindSignature(in.get());
  if (start < 0 || fseeko(in.get(), 0, SEEK_END) != 0) return false;
  const int64_t end = ftello(in.get());
  if (end < start || static_cast<uint64_t>(end - start) > maxBytes || fseeko(in.get(), start, SEEK_SET) != 0) {
    return false;
  }
  File out(std::fopen(cabinet.c_str(), "wb"));
  if (!out) return false;
  std::vector<char> piece(kPiece);
  uint64_t left = static_cast<uint64_t>(end - start);
  bool ok = true;
  while (ok && left > 0) {
    const std::size_t got = std::fread(piece.data(), 1, std::min<uint64_t>(piece.size(), left), in.get());
    if (got == 0) break;
    ok = std::fwrite(piece.data(), 1, got, out.get()) == got;
    left -= got;
  }
  ok = ok && !std::ferror(in.get()) && std::fclose(out.release()) == 0;
  if (!ok) {
    out.reset();
    std::error_code ignored;
    std::filesystem::remove(cabinet, ignored);
  }
  return ok;
}

// A cabinet lists at most 65535 files (its count is 16 bits), well under the
// member cap of the archiver modules, so only bytes need a bound here.
bool ExpandCabinetMember(const std::filesystem::path& cabinet, const char* member,
                         const std::filesystem::path& output, uint64_t maxBytes) {
  archive* reader = archive_read_new();
  archive_read_support_format_cab(reader);
  bool written = false;
  if (archive_read_open_filename(reader, cabinet.c_str(), 10240) == ARCHIVE_OK) {
    archive_entry* entry = nullptr;
    while (!written && archive_read_next_header(reader, &entry) == ARCHIVE_OK) {
      const char* path = archive_entry_pathname(entry);
      if (!path || !EqualsIgnoreCase(path, member) || archive_entry_filetype(entry) != AE_IFREG) continue;
      // The size the cabinet gives is checked before the file is made; the
      // count below holds whatever the data turn out to be.
      if (archive_entry_size_is_set(entry) && static_cast<uint64_t>(archive_entry_size(entry)) > maxBytes) break;
      File out(std::fopen(output.c_str(), "wb"));
      if (!out) break;
      std::vector<char> piece(kPiece);
      la_ssize_t got;
      uint64_t total = 0;
      bool ok = true;
      while ((got = archive_read_data(reader, piece.data(), piece.size())) > 0) {
        total += static_cast<uint64_t>(got);
        if (total > maxBytes ||
            std::fwrite(piece.data(), 1, static_cast<std::size_t>(got), out.get()) != static_cast<std::size_t>(got)) {
          ok = false;
          break;
        }
      }
      ok = ok && got == 0 && std::fclose(out.release()) == 0;
      if (!ok) {
        out.reset();
        std::error_code ignored;
        std::filesystem::remove(output, ignored);
        break;
      }
      written = true;
    }
  }
  archive_read_free(reader);
  return written;
}

int InstallCabinet(const std::filesystem::path& downloaded, const std::filesystem::path& workFolder,
                   const std::filesystem::path& systemFolder, const archiver::ArchiveLimits& limits) {
  const std::filesystem::path cabinet = workFolder / "CAB32.CAB";
  const std::filesystem::path library = workFolder / "CAB32.DLL";
  std::error_code error;
  std::filesystem::remove(cabinet, error);
  std::filesystem::remove(library, error);
  const uint64_t budget = archiver::ByteBudget(limits, workFolder.string());
  if (CutOutCabinet(downloaded, cabinet, budget)) {
    const uintmax_t cabinetBytes = std::filesystem::file_size(cabinet, error);
    if (!error && cabinetBytes <= budget) ExpandCabinetMember(cabinet, "CAB32.DLL", library, budget - cabinetBytes);
  }
  return CopyLibraryWhole(library, systemFolder / "CAB32.DLL", true) ? 0 : -1;
}

}  // namespace qorve
