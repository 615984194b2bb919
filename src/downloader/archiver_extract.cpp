#include "downloader/archiver_extract.h"

#include <array>
#include <cstdint>
#include <string_view>

#include "platform/system/shared_module.h"

namespace qorve {
namespace {

// Whether `text` can stand between double quotes as one word: the modules
// know no escape, so a quote would end the word, and a NUL would end the line.
bool Quotable(std::string_view text) {
  return text.find_first_of(std::string_view("\"\0", 2)) == std::string_view::npos;
}

}  // namespace

std::optional<std::string> ArchiverCommandLine(const std::filesystem::path& archive,
                                               const std::filesystem::path& systemFolder) {
  const std::string archiveText = archive.string();
  const std::string folderText = systemFolder.string();
  if (archiveText.empty() || !systemFolder.is_absolute()) return std::nullopt;
  if (!Quotable(archiveText) || !Quotable(folderText)) return std::nullopt;
  return "e -n -m1 -c0 -gm0 -ga1 \"" + archiveText + "\" \"" + folderText + "\\\" *.DLL";
}

int ExtractWithArchiver(const std::filesystem::path& archive, const std::filesystem::path& systemFolder) {
  const std::optional<std::string> commandLine = ArchiverCommandLine(archive, systemFolder);
  if (!commandLine) return -1;
  const std::string name = archive.filename().string();
  const bool zip = !name.empty() && name.back() == 'p';
  SharedModule module;
  if (!module.Load(zip ? "UNZIP32.so" : "UNLHA32.so")) return -1;
  const auto entry = module.EntryAs<ArchiverCommandEntry>(zip ? "UnZip" : "Unlha");
  if (!entry) return -1;
  std::array<char, 256> output{};
  entry(nullptr, commandLine->c_str(), output.data(), static_cast<uint32_t>(output.size()));
  return 0;
}

}  // namespace qorve
