// Installs CAB32: its download is a self-extracting program with a cabinet
// inside; the cabinet is cut out, CAB32.DLL expanded from it (libarchive, in
// this process) and copied into the system folder.
#pragma once

#include <filesystem>

namespace qorve {

// Copies everything from the first "MSCF\0" of `source` to its end into
// `cabinet` (created anew). False when there is no signature (nothing is
// written) or on a read or write error.
bool CutOutCabinet(const std::filesystem::path& source, const std::filesystem::path& cabinet);

// Writes the cabinet member named `member` (letter case ignored) to `output`.
// False when the cabinet cannot be read or holds no such member (no output is
// left then).
bool ExpandCabinetMember(const std::filesystem::path& cabinet, const char* member,
                         const std::filesystem::path& output);

// "CAB32.CAB" and "CAB32.DLL" in `workFolder`; the library is copied over any
// CAB32.DLL in `systemFolder`. 0 when the copy succeeded, else -1.
int InstallCabinet(const std::filesystem::path& downloaded, const std::filesystem::path& workFolder,
                   const std::filesystem::path& systemFolder);

}  // namespace qorve
