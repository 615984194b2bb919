#include "downloader/library_copy.h"

#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <system_error>

namespace qorve {

bool CopyLibraryWhole(const std::filesystem::path& from, const std::filesystem::path& to, bool replace) {
  std::error_code error;
  if (!replace && std::filesystem::exists(std::filesystem::symlink_status(to, error))) return true;
  std::string temporary = (to.parent_path() / ("." + to.filename().string() + ".XXXXXX")).string();
  const int fd = mkstemp(temporary.data());
  if (fd < 0) return false;
  close(fd);
  std::filesystem::copy_file(from, temporary, std::filesystem::copy_options::overwrite_existing, error);
  if (!error) std::filesystem::rename(temporary, to, error);
  if (error) {
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    return false;
  }
  return true;
}

}  // namespace qorve
