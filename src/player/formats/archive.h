// ARCHIVE: the media class of archives and split files. Open unpacks an archive
// into a folder named after it on the desktop through the archiver module of
// its format, or joins the parts a REZ control file lists, and reports 9
// (dealt with, nothing to play).
#pragma once

#include "player/core/media_file.h"

#include <string>

namespace qorve {

class ARCHIVE final : public MediaFile {
 public:
  ARCHIVE();
  ~ARCHIVE() override;

  // 9 unpacked or joined; 4 an extension without archiver, no REZ control file,
  // or a path the command line cannot carry (a double quote); 10 the module is
  // missing or lacks an entry; 11 the module refuses the file, or a split
  // file's part is missing (its name in Codec); 12 an EXE that no module
  // accepts; 1 the joined output cannot be written; 3 the file cannot be read.
  int Open(const std::string& path, const std::string& extension, WindowHandle owner) override;
  int Close() override { return 0; }
  void GetStatus(MediaState& /*out*/) override {}
};

}  // namespace qorve
