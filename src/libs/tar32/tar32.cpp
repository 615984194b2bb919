// TAR32.so: the archiver module for tar archives, gzip-, bzip2-, xz- or compress-compressed or
// not, and single gzip, bzip2 or xz files. The programs load it by name from the program folder
// and call its check and command entries.
#include "libs/archiver/module_entries.h"

#include <cstdint>

ARCHIVER_EXPORT int TarCheckArchive(const char* archivePath, int mode) {
  return qorve::archiver::CheckArchiveEntry(qorve::archiver::ArchiveFamily::Tar, archivePath, mode);
}

ARCHIVER_EXPORT int Tar(void* /*window*/, const char* commandLine, char* output, uint32_t outputSize) {
  return qorve::archiver::RunCommandEntry(qorve::archiver::ArchiveFamily::Tar, commandLine, output, outputSize);
}
