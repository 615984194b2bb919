#include "download_site_fake.h"

#include <cstdlib>
#include <fstream>

#include "support/temp_home.h"

namespace qorve::test {
namespace {

void Run(const std::string& command) { std::system((command + " >/dev/null 2>&1").c_str()); }

std::string ProgramBytes(std::size_t size) {
  std::string bytes = "MZ";
  while (bytes.size() < size) bytes += static_cast<char>('A' + bytes.size() % 23);
  bytes.resize(size);
  return bytes;
}

}  // namespace

bool HaveSiteTools() { return std::system("command -v jlha >/dev/null && command -v gcab >/dev/null") == 0; }

std::string LibraryPage(const std::string& fileName) {
  return "<html><body><p>Latest version</p><p>[File:" + fileName + "] 123,456 bytes</p></body></html>\n";
}

void WriteLzhSelfExtractor(const std::filesystem::path& file, std::size_t stubBytes, const std::string& member,
                           const std::string& content) {
  const std::filesystem::path folder = file.parent_path() / (file.filename().string() + ".d");
  std::filesystem::create_directories(folder);
  WriteFile(folder / member, content);
  Run("cd '" + folder.string() + "' && jlha c2o5 a.lzh '" + member + "'");
  WriteFile(file, ProgramBytes(stubBytes) + ReadFile(folder / "a.lzh"));
  std::filesystem::remove_all(folder);
}

void WriteCabinetSelfExtractor(const std::filesystem::path& file, const std::string& content) {
  const std::filesystem::path folder = file.parent_path() / (file.filename().string() + ".d");
  std::filesystem::create_directories(folder);
  WriteFile(folder / "CAB32.DLL", content);
  WriteFile(folder / "README.TXT", "readme");
  Run("cd '" + folder.string() + "' && gcab -c -z a.cab README.TXT CAB32.DLL");
  WriteFile(file, ProgramBytes(30000) + ReadFile(folder / "a.cab"));
  std::filesystem::remove_all(folder);
}

}  // namespace qorve::test
