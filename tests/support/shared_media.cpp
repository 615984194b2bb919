// Where the shared real media lie, and what a test does when they do not.
#include "support/shared_media.h"

#include <cstdlib>
#include <cstring>

namespace qorve::test {

std::filesystem::path SharedMedia() {
  const char* chosen = std::getenv("QORVE_TEST_MEDIA");
  if (chosen && *chosen) return chosen;
  return QORVE_DEFAULT_TEST_MEDIA;
}

bool SharedMediaRequired() {
  const char* ci = std::getenv("CI");
  return ci && std::strcmp(ci, "true") == 0;
}

std::string SharedMediaMissing(const std::filesystem::path& path) {
  std::error_code error;
  if (std::filesystem::exists(path, error)) return "";
  return "shared media file " + path.string() +
         " is missing (QORVE_TEST_MEDIA names the folder of real media files)";
}

}  // namespace qorve::test
