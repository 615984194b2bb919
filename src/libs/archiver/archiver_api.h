// The calling convention shared by the archiver modules (UNLHA32.so, UNZIP32.so,
// UNRAR32.so, CAB32.so, TAR32.so) and the programs that load them by name.
#pragma once

#include <cstdint>

namespace qorve::archiver {

// Check entry, e.g. "UnlhaCheckArchive": non-zero when the module can unpack
// the whole file. Whatever the mode, every member is decoded (checksums
// included), so that a broken archive or one using a compression method the
// module lacks is refused before anything is written.
using CheckEntry = int (*)(const char* archivePath, int mode);

// Command entry, e.g. "Unlha": runs one command line (see command_line.h) and
// writes a short report into `output` (always NUL-terminated when size > 0).
// The window handle is unused; no window is ever shown.
using CommandEntry = int (*)(void* window, const char* commandLine, char* output, uint32_t outputSize);

// Results of a command entry.
enum CommandResult : int {
  kCommandOk = 0,
  kCommandSomeRefused = 1,          // done, but unsafe members were left out
  kCommandBadCommandLine = 0x8001,  // no archive named, or a command this module does not carry out
  kCommandCannotRead = 0x8002,      // the archive is missing, not of this module's format, or broken
  kCommandCannotWrite = 0x8003,     // the destination or a member could not be written
};

}  // namespace qorve::archiver
