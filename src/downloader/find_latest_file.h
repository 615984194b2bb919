// Finds the name of a library's latest archive on its page of the
// distribution site: the text after the first "File:" up to the next "]".
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "downloader/download_file.h"

namespace qorve {

// Bytes of a page that are searched.
constexpr std::size_t kPageSearchBytes = 5120;
// Longest file name accepted from a page.
constexpr std::size_t kLatestNameMax = 255;

// The name after the first "File:" in `page` up to the next "]", with blanks
// around it removed. None when there is no "File:", no "]" after it, the name
// is empty or longer than kLatestNameMax, or it is not a plain file name (a
// folder separator, ".", "..", or a control character) or the name of one of
// the working files, since it becomes a file in the working folder.
std::optional<std::string> ParseLatestFileName(std::string_view page);

// Downloads the page into "ARC.HTML" in `workFolder`, reads at most
// kPageSearchBytes of it, deletes it and parses the name. 0 with `fileName`
// set, -1 when the page could not be fetched or names no acceptable file.
int FindLatestFile(const InternetHandle* handle, const std::string& pageUrl, const std::filesystem::path& workFolder,
                   std::string& fileName, const std::atomic<bool>* cancel = nullptr);

}  // namespace qorve
