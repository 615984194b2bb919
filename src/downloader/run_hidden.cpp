#include "downloader/run_hidden.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/system/clock.h"
#include "platform/system/folders.h"
#include "platform/system/launch.h"

extern char** environ;

namespace qorve {

int RunHidden(std::string_view commandLine, int /*showMode*/, uint32_t limitMs) {
  std::vector<std::string> words = SplitCommandLine(commandLine);
  if (words.empty() || words.front().empty()) return -1;
  const std::string name = ExecutableName(words.front());
  if (name.find('/') != std::string::npos) return -1;  // only programs of our own folder
  const std::filesystem::path program = ProgramFolder() / name;
  if (access(program.c_str(), X_OK) != 0) return -1;
  words.front() = program.string();
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  for (int fd : {0, 1, 2}) posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
  pid_t child = 0;
  const int spawned = posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1;

  const uint32_t start = TimeGetTime();
  int status = 0;
  for (;;) {
    const pid_t done = waitpid(child, &status, WNOHANG);
    if (done == child) break;
    if (done < 0 && errno != EINTR) return -1;
    if (TimeGetTime() - start >= limitMs) {
      kill(child, SIGKILL);
      while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
      }
      return -1;
    }
    SleepMs(1);
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace qorve
