#include "common/log.h"

#include "common/settings.h"
#include "platform/system/folders.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>
#include <string>
#include <system_error>

namespace qorve {
namespace {

constexpr int kNotOpened = -1;
constexpr int kOpenFailed = -2;

std::atomic<int> logFile{kNotOpened};
std::mutex openMutex;  // guards creating and closing the file, not writing
bool emptiedThisRun = false;  // guarded by openMutex

int OpenLog() {
  std::lock_guard lock(openMutex);
  const int current = logFile.load();
  if (current != kNotOpened) return current;
  std::error_code ignored;
  const std::filesystem::path folder = SettingsFolder();
  std::filesystem::create_directories(folder, ignored);
  const std::string path = (folder / "LOG.TXT").string();
  const int empty = emptiedThisRun ? 0 : O_TRUNC;
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | empty | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) fd = kOpenFailed;
  emptiedThisRun = true;
  logFile.store(fd);
  return fd;
}

}  // namespace

int Log(std::string_view text, long number) {
  if (ProgramSettings().kestravoxLog != 1) return 0;
  int fd = logFile.load();
  if (fd == kNotOpened) fd = OpenLog();
  if (fd < 0) return 1;
  std::string line;
  line.reserve(text.size() + 32);
  line += '"';
  line += text;
  line += "\" , \"";
  line += std::to_string(number);
  line += "\" \r\n";
  // O_APPEND makes each write land whole at the end, whichever thread calls.
  while (write(fd, line.data(), line.size()) < 0 && errno == EINTR) {
  }
  return 1;
}

void CloseLog() {
  std::lock_guard lock(openMutex);
  const int fd = logFile.exchange(kNotOpened);
  if (fd >= 0) close(fd);
}

void ResetLogRunForTesting() {
  CloseLog();
  std::lock_guard lock(openMutex);
  emptiedThisRun = false;
}

}  // namespace qorve
