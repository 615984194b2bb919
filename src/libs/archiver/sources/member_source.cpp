#include "libs/archiver/sources/member_source.h"

#include "libs/archiver/sources/cabinet_source.h"
#include "libs/archiver/sources/lhasa_source.h"
#include "libs/archiver/sources/libarchive_source.h"
#include "libs/archiver/sources/unarr_source.h"

namespace qorve::archiver {

std::unique_ptr<MemberSource> OpenMemberSource(ArchiveFamily family, const std::string& path) {
  switch (family) {
    case ArchiveFamily::Lha:
      return OpenLhasaSource(path);
    case ArchiveFamily::Cab:
      return OpenCabinetSource(path);
    case ArchiveFamily::Rar:
      // RAR 4 goes to unarr; RAR 5 and self-extracting archives to libarchive.
      if (std::unique_ptr<MemberSource> source = OpenUnarrSource(path)) return source;
      return OpenLibarchiveSource(family, path);
    case ArchiveFamily::Zip:
    case ArchiveFamily::Tar:
      return OpenLibarchiveSource(family, path);
  }
  return nullptr;
}

}  // namespace qorve::archiver
