// Caps the size of every file the test process writes, to stand in for a full
// disk and to keep a reader that fails to refuse a bomb from filling one.
#pragma once

#include <sys/resource.h>

#include <csignal>

namespace qorve::test {

// While it lives, a write past `bytes` fails with EFBIG instead of raising
// SIGXFSZ.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes);
  ~FileSizeLimit();
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
  void (*previousHandler_)(int) = SIG_DFL;
};

}  // namespace qorve::test
