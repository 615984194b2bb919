// UNLHA32.so: the archiver module for LHA/LZH archives, read by liblhasa (-lh0-, -lh1-, -lh4- to
// -lh7-, -lzs-, -lz4-, -lz5-, -pm0- to -pm2-, header levels 0 to 3), also self-extracting ones.
// The programs load it by name from the program folder and call its check and command entries.
#include "libs/archiver/module_entries.h"

#include <cstdint>

ARCHIVER_EXPORT int UnlhaCheckArchive(const char* archivePath, int mode) {
  return qorve::archiver::CheckArchiveEntry(qorve::archiver::ArchiveFamily::Lha, archivePath, mode);
}

ARCHIVER_EXPORT int Unlha(void* /*window*/, const char* commandLine, char* output, uint32_t outputSize) {
  return qorve::archiver::RunCommandEntry(qorve::archiver::ArchiveFamily::Lha, commandLine, output, outputSize);
}
