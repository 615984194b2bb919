// The calling convention shared by the archiver modules (UNLHA32.so, UNZIP32.so,
// UNRAR32.so, CAB32.so, TAR32.so) and the programs that load them by name.
#pragma once

#include <cstdint>

namespace qorve::archiver {

// Check entry, e.g. "UnlhaCheckArchive": non-zero when the file is an archive
// of the module's formats whose headers read, whatever the mode. Member data
// is not decoded here (a member that turns out broken stops the unpacking:
// kCommandCannotRead), and an archive past the bounds still checks (the
// command refuses it: kCommandLimitExceeded).
using CheckEntry = int (*)(const char* archivePath, int mode);

// Command entry, e.g. "Unlha": runs one command line (see command_line.h) and
// writes a short report into `output` (always NUL-terminated when size > 0).
// The window handle is unused; no window is ever shown. Commands:
//  x, e (and -x, -e)  unpack, within the bounds of archive_limits.h;
//  l                  list without writing anything; the report is
//                     "format=<word> members=<count> bytes=<unpacked bytes>".
using CommandEntry = int (*)(void* window, const char* commandLine, char* output, uint32_t outputSize);

// Results of a command entry.
enum CommandResult : int {
  kCommandOk = 0,
  kCommandSomeRefused = 1,          // done, but unsafe members were left out
  kCommandBadCommandLine = 0x8001,  // no archive named, or a command this module does not carry out
  kCommandCannotRead = 0x8002,      // the archive is missing, not of this module's format, or broken
  kCommandCannotWrite = 0x8003,     // the destination or a member could not be written
  kCommandLimitExceeded = 0x8004,   // too many members or bytes, or too little free space: the report says which
};

}  // namespace qorve::archiver
