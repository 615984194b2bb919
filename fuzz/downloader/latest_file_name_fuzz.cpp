// A library page's bytes through the "File:" rule, and any text as the paths
// of an archiver command line: an accepted name holds only the conservative
// characters, and every line that is built reads back, through the modules'
// own parser, as exactly the archive and the destination it was built for.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "downloader/archiver_extract.h"
#include "downloader/find_latest_file.h"
#include "libs/archiver/command_line.h"

namespace {

void CheckLine(const std::filesystem::path& archive, const std::filesystem::path& folder) {
  const auto line = qorve::ArchiverCommandLine(archive, folder);
  if (!line) return;
  const qorve::archiver::ArchiverCommand command = qorve::archiver::ParseArchiverCommand(*line);
  std::string destination = folder.string();
  while (destination.size() > 1 && (destination.back() == '/' || destination.back() == '\\')) destination.pop_back();
  if (command.command != "e" || command.archive != archive.string() || command.destination != destination ||
      command.patterns.size() != 1 || command.patterns[0] != "*.DLL") {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (const auto name = qorve::ParseLatestFileName(text)) {
    if (name->empty() || name->size() > qorve::kLatestNameMax) std::abort();
    for (char c : *name) {
      const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
                         c == '_' || c == '-';
      if (!plain) std::abort();
    }
    CheckLine(std::filesystem::path("/tmp/pakgrab-work") / *name, "/home/user/.local/share/qorve/system");
  }
  const std::size_t half = size / 2;
  CheckLine(std::string(text.substr(0, half)), "/" + std::string(text.substr(half)));
  return 0;
}
