// CAB32.so: the archiver module for Microsoft cabinets (stored, MSZIP, LZX, Quantum; read by
// libmspack), also self-extracting ones and sets spread over several files that lie side by side.
// The programs load it by name from the program folder and call its check and command entries.
#include "libs/archiver/module_entries.h"

#include <cstdint>

ARCHIVER_EXPORT int CabCheckArchive(const char* archivePath, int mode) {
  return qorve::archiver::CheckArchiveEntry(qorve::archiver::ArchiveFamily::Cab, archivePath, mode);
}

ARCHIVER_EXPORT int Cab(void* /*window*/, const char* commandLine, char* output, uint32_t outputSize) {
  return qorve::archiver::RunCommandEntry(qorve::archiver::ArchiveFamily::Cab, commandLine, output, outputSize);
}
