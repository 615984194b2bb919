// Reading one archive with libarchive, limited to the formats of one module,
// and the two things the modules do with it: check it and unpack it.
#pragma once

#include <string>
#include <vector>

namespace qorve::archiver {

// The formats one module reads. Tar also reads a single gzip-, bzip2- or
// xz-compressed file that holds no tar archive.
enum class ArchiveFamily { Lha, Zip, Rar, Cab, Tar };

// True when the file is an archive of the family whose every member decodes
// without error.
bool ArchiveIsReadable(ArchiveFamily family, const std::string& path);

struct ExtractRequest {
  std::string archive;
  std::string destination;        // created when missing; "" = current folder
  bool keepFolders = true;        // false: every member lands in the destination itself
  std::vector<std::string> patterns;  // matched against base names; empty = all
};

struct ExtractReport {
  bool archiveOpened = false;  // the archive is one of the family's formats
  bool archiveRead = false;   // the archive opened and was read to its end
  bool destinationOk = false;  // the destination folder could be opened
  int written = 0;            // files, folders and links made
  int refused = 0;            // members left out as unsafe (names leaving the folder, links out, devices)
  int failed = 0;             // members that could not be written
  std::string firstProblem;   // name or reason of the first member refused or failed
};

ExtractReport ExtractArchive(ArchiveFamily family, const ExtractRequest& request);

}  // namespace qorve::archiver
