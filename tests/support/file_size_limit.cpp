// The file-size limit that stands in for a full disk in tests.
#include "support/file_size_limit.h"

#include <algorithm>

namespace qorve::test {

FileSizeLimit::FileSizeLimit(rlim_t bytes) {
  getrlimit(RLIMIT_FSIZE, &saved_);
  rlimit limit = saved_;
  limit.rlim_cur = std::min(bytes, saved_.rlim_max);
  setrlimit(RLIMIT_FSIZE, &limit);
  previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
}

FileSizeLimit::~FileSizeLimit() {
  setrlimit(RLIMIT_FSIZE, &saved_);
  std::signal(SIGXFSZ, previousHandler_);
}

}  // namespace qorve::test
