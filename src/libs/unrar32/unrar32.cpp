// UNRAR32.so: the archiver module for RAR archives of versions 4 (read by unarr) and 5 (read by
// libarchive), also self-extracting ones (libarchive).
// The programs load it by name from the program folder and call its check and command entries.
#include "libs/archiver/module_entries.h"

#include <cstdint>

ARCHIVER_EXPORT int UnrarCheckArchive(const char* archivePath, int mode) {
  return qorve::archiver::CheckArchiveEntry(qorve::archiver::ArchiveFamily::Rar, archivePath, mode);
}

ARCHIVER_EXPORT int Unrar(void* /*window*/, const char* commandLine, char* output, uint32_t outputSize) {
  return qorve::archiver::RunCommandEntry(qorve::archiver::ArchiveFamily::Rar, commandLine, output, outputSize);
}
