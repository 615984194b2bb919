// Installs CAB32: its download is a self-extracting program with a cabinet
// inside; the cabinet is cut out, CAB32.DLL expanded from it (libarchive, in
// this process) and copied into the system folder.
#pragma once

#include <cstdint>
#include <filesystem>

#include "libs/archiver/archive_limits.h"

namespace qorve {

// Copies everything from the first "MSCF\0" of `source` to its end into
// `cabinet` (created anew). False when there is no signature or what follows
// it is more than `maxBytes` (nothing is written then), or on a read or write
// error (the partial copy is removed).
bool CutOutCabinet(const std::filesystem::path& source, const std::filesystem::path& cabinet, uint64_t maxBytes);

// Writes the cabinet member named `member` (letter case ignored) to `output`.
// False when the cabinet cannot be read, holds no such member, the member is
// larger than `maxBytes` or cannot be written whole; no output is left then.
bool ExpandCabinetMember(const std::filesystem::path& cabinet, const char* member,
                         const std::filesystem::path& output, uint64_t maxBytes);

// "CAB32.CAB" and "CAB32.DLL" in `workFolder`, together within the bytes the
// limits allow there (their cap, and the folder's free space less the
// margin); the library is copied over any CAB32.DLL in `systemFolder`. 0 when
// the copy succeeded, else -1.
int InstallCabinet(const std::filesystem::path& downloaded, const std::filesystem::path& workFolder,
                   const std::filesystem::path& systemFolder, const archiver::ArchiveLimits& limits = {});

}  // namespace qorve
