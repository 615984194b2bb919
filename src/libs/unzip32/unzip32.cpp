// UNZIP32.so: the archiver module for ZIP archives (stored, deflate, bzip2, LZMA, xz), also self-
// extracting ones. The programs load it by name from the program folder and call its check and
// command entries.
#include "libs/archiver/module_entries.h"

#include <cstdint>

ARCHIVER_EXPORT int UnZipCheckArchive(const char* archivePath, int mode) {
  return qorve::archiver::CheckArchiveEntry(qorve::archiver::ArchiveFamily::Zip, archivePath, mode);
}

ARCHIVER_EXPORT int UnZip(void* /*window*/, const char* commandLine, char* output, uint32_t outputSize) {
  return qorve::archiver::RunCommandEntry(qorve::archiver::ArchiveFamily::Zip, commandLine, output, outputSize);
}
