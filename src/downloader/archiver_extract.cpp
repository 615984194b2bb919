#include "downloader/archiver_extract.h"

#include <array>
#include <cstdint>

#include "platform/shared_module.h"

namespace qorve {

std::string ArchiverCommandLine(const std::filesystem::path& archive, const std::filesystem::path& systemFolder) {
  return "e -n -m1 -c0 -gm0 -ga1 \"" + archive.string() + "\" \"" + systemFolder.string() + "\\\" *.DLL";
}

int ExtractWithArchiver(const std::filesystem::path& archive, const std::filesystem::path& systemFolder) {
  const std::string name = archive.filename().string();
  const bool zip = !name.empty() && name.back() == 'p';
  SharedModule module;
  if (!module.Load(zip ? "UNZIP32.so" : "UNLHA32.so")) return -1;
  const auto entry = module.EntryAs<ArchiverCommandEntry>(zip ? "UnZip" : "Unlha");
  if (!entry) return -1;
  const std::string commandLine = ArchiverCommandLine(archive, systemFolder);
  std::array<char, 256> output{};
  entry(nullptr, commandLine.c_str(), output.data(), static_cast<uint32_t>(output.size()));
  return 0;
}

}  // namespace qorve
