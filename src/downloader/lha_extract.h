// Takes one named member out of an LHA archive (also a self-extracting one)
// with the program's own reader, before any archiver module is installed.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "downloader/byte_stream.h"

namespace qorve {

// Opens the output for a member, given its relative path ("/" separated,
// UTF-8, never leaving the output folder); null when it cannot be created.
using LhaOutputOpener = std::function<std::unique_ptr<ByteSink>(const std::filesystem::path& relativePath)>;

// Walks the archive from its first header (looked for within its first 64 KB)
// until the end or the first invalid header, and decodes every member whose
// name equals `wantedName` ignoring ASCII case ("\" and "/" count as the same
// separator), unless the name begins with "!", "$" or "%" or would leave the
// output folder (an absolute name, a ".." folder). The output keeps the
// member's folders; its file name is spelled as `wantedName` spells it, so the
// caller finds it under the name it asked for. Returns 1 when a start was found
// and the archive walked, 0 otherwise.
int LhaExtractFrom(ByteSource& archive, std::string_view wantedName, const LhaOutputOpener& openOutput);

// The same on a file, writing into `outputFolder` (empty: the current folder).
// A member whose folder does not exist there is not written; folders are never
// created.
int LhaExtract(const std::filesystem::path& archivePath, std::string_view wantedName,
               const std::filesystem::path& outputFolder);

}  // namespace qorve
