// The members of Microsoft cabinets (stored, MSZIP, LZX, Quantum), also
// self-extracting ones and sets spread over several files, read by libmspack.
#pragma once

#include "libs/archiver/sources/member_source.h"

#include <optional>

namespace qorve::archiver {

// Null when no cabinet is found in the file. The other parts of a set are
// looked for beside the file only, under the names the cabinets give.
std::unique_ptr<MemberSource> OpenCabinetSource(const std::string& path);

// The file in `folder` that a cabinet's next- or previous-cabinet name means:
// a plain file name (no folder part, no "." or ".."), matched without regard
// to case as MS-DOS did. Nothing when the name is not plain or no such file
// is there.
std::optional<std::string> CabinetPartBeside(const std::string& folder, const std::string& name);

}  // namespace qorve::archiver
