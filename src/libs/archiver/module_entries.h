// What every archiver module's two entries do, for the module's own formats.
// Each module (src/libs/unlha32 ...) is a pair of exported wrappers over these.
#pragma once

#include "archive_reader.h"

#include <cstdint>

// The entries are the only symbols a module exports.
#define ARCHIVER_EXPORT extern "C" __attribute__((visibility("default")))

namespace qorve::archiver {

// The check entry: 1 when `path` is an archive of the family whose headers
// read, else 0 (see CheckEntry in archiver_api.h). The mode is accepted for
// the callers' sake.
int CheckArchiveEntry(ArchiveFamily family, const char* path, int mode);

// The command entry: parses the line, unpacks the archive into the destination
// (or, for "l", lists it) and reports into `output`. Commands "x" (and "-x")
// keep the archive's folders, unless "-j" is given; "e" (and "-e") put every
// member into the destination itself, unless "-d" or "-x"/"-x1" ask for the
// folders. Other
// switches (confirmation, message and attribute switches) do not change what
// is written: nothing is ever asked and existing files are replaced. Returns a
// CommandResult (archiver_api.h).
int RunCommandEntry(ArchiveFamily family, const char* commandLine, char* output, uint32_t outputSize);

}  // namespace qorve::archiver
