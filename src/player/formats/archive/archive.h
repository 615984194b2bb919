// player/formats/archive/: the media class of archives and split files.
//
// ARCHIVE: the media class of archives and split files. Open unpacks an archive
// into a folder named after it on the desktop through the archiver module of
// its format, or joins the parts a REZ control file lists, and reports 9
// (dealt with, nothing to play). Probing (qorve-info) tells what Open would
// do without writing anything.
#pragma once

#include "player/core/media_file.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qorve {

// What a probing Open found: an archive's listing as its module gives it, or
// what a REZ control file names.
struct ArchiveProbe {
  std::string format;             // "ZIP", "LHA", "TAR.GZ", ... or "REZ"
  uint64_t members = 0;           // members, or parts of a split file
  uint64_t unpackedBytes = 0;     // what unpacking writes, or the parts' sizes added up
  std::string output;             // split file: the name of the joined file (UTF-8)
  std::vector<std::string> parts;  // split file: the parts' names in order (UTF-8)
};

class ARCHIVE final : public MediaFile {
 public:
  ARCHIVE();
  ~ARCHIVE() override;

  // 9 unpacked or joined; 4 an extension without archiver, no REZ control file,
  // or a path the command line cannot carry (a double quote); 10 the module is
  // missing or lacks an entry; 11 the module refuses the file, finds it broken
  // while unpacking or refuses it as too large (logged with the module's
  // reason), or a split file's part is missing (its name in Codec); 12 an EXE
  // that no module accepts; 1 the joined output cannot be written; 3 the file
  // cannot be read.
  int Open(const std::string& path, const std::string& extension, WindowHandle owner) override;
  int Close() override { return 0; }
  void GetStatus(MediaState& /*out*/) override {}

  // Process-wide switch for tools that only ask what the player makes of a
  // file. While on, Open writes nothing: it lists an archive through its
  // module ("l") or reads a REZ control file and looks for its parts, fills
  // Probe() and Format, and returns the code that unpacking or joining would
  // give (9 when it would go ahead). Set before the first Open.
  static void SetProbing(bool on);
  const ArchiveProbe& Probe() const { return probe_; }

 private:
  ArchiveProbe probe_;
};

}  // namespace qorve
