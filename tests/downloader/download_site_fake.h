// Builds the distribution site the downloader's tests serve: library pages,
// archives made at test time by jlha and gcab, and the program folder with the
// stand-in archiver modules.
#pragma once

#include <filesystem>
#include <string>

namespace qorve::test {

bool HaveSiteTools();  // jlha and gcab

// A page whose text names `fileName` the way the site does.
std::string LibraryPage(const std::string& fileName);

// A self-extracting LZH: `stubBytes` of program before an archive (-lh5-,
// level 2) holding the member `member` with `content`.
void WriteLzhSelfExtractor(const std::filesystem::path& file, std::size_t stubBytes, const std::string& member,
                           const std::string& content);

// A self-extracting cabinet: program bytes, then a cabinet holding CAB32.DLL.
void WriteCabinetSelfExtractor(const std::filesystem::path& file, const std::string& content);

}  // namespace qorve::test
