// Finds the name of a library's latest archive on its page of the
// distribution site: the text after the first "File:" up to the next "]".
#pragma once

#include <cstdint>
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
// A page larger than this is not downloaded (a library page is a few KB).
constexpr uint64_t kPageDownloadLimit = uint64_t{1} << 20;

// The name after the first "File:" in `page` up to the next "]", with blanks
// around it removed. None when there is no "File:", no "]" after it, the name
// is empty or longer than kLatestNameMax, or it is not a conservative file
// name: only ASCII letters, digits, ".", "_" and "-", beginning with a letter
// or digit, and not the name of one of the working files. The name becomes a
// file in the working folder, part of a URL and a quoted word of an archiver
// command line, so nothing in it may carry a meaning there.
std::optional<std::string> ParseLatestFileName(std::string_view page);

// Downloads the page (at most kPageDownloadLimit bytes) into "ARC.HTML" in
// `workFolder`, reads at most kPageSearchBytes of it, deletes it and parses
// the name. 0 with `fileName` set, -1 when the page could not be fetched or
// names no acceptable file.
int FindLatestFile(const InternetHandle* handle, const std::string& pageUrl, const std::filesystem::path& workFolder,
                   std::string& fileName, const std::atomic<bool>* cancel = nullptr);

}  // namespace qorve
