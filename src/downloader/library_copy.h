// Puts an unpacked library into the system folder whole or not at all.
#pragma once

#include <filesystem>

namespace qorve {

// Copies `from` to `to` under a temporary name beside `to` and renames it into
// place only when every byte is in, so a disk that fills part way leaves the
// folder as it was (a cut-off library there would be taken for a good one by
// every later installation). With `replace` false an existing `to` is kept and
// counts as done. Returns false when nothing was put in place.
bool CopyLibraryWhole(const std::filesystem::path& from, const std::filesystem::path& to, bool replace);

}  // namespace qorve
