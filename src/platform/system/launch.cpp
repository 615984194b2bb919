#include "platform/system/launch.h"

#include "platform/system/folders.h"
#include "platform/system/text.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

extern char** environ;

namespace qorve {

std::vector<std::string> SplitCommandLine(std::string_view commandLine) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  bool quoted = false;
  for (std::size_t i = 0; i < commandLine.size(); ++i) {
    const char c = commandLine[i];
    if (c == '"') {
      if (quoted && i + 1 < commandLine.size() && commandLine[i + 1] == '"') {
        word += '"';
        ++i;
      } else {
        quoted = !quoted;
      }
      inWord = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (inWord) words.push_back(std::move(word));
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(std::move(word));
  return words;
}

std::string ExecutableName(std::string_view windowsName) {
  struct Known {
    std::string_view windows;
    std::string_view linux;
  };
  static constexpr Known kPrograms[] = {
      {"SET.EXE", "qorve-set"}, {"QORVE.EXE", "qorve"}, {"PAKGRAB.EXE", "pakgrab"}};
  for (const Known& known : kPrograms) {
    if (EqualsIgnoreCase(windowsName, known.windows)) return std::string(known.linux);
  }
  if (windowsName.size() > 4 && EqualsIgnoreCase(windowsName.substr(windowsName.size() - 4), ".exe")) {
    windowsName.remove_suffix(4);
  }
  return std::string(windowsName);
}

bool LaunchProgram(std::string_view commandLine) {
  std::vector<std::string> words = SplitCommandLine(commandLine);
  if (words.empty() || words.front().empty()) return false;
  const std::string name = ExecutableName(words.front());
  // Only programs of our own folder are started, never one found on PATH.
  const std::filesystem::path program =
      name.find('/') != std::string::npos ? std::filesystem::path(name) : ProgramFolder() / name;
  if (access(program.c_str(), X_OK) != 0) return false;
  words.front() = program.string();
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  pid_t child = 0;
  if (posix_spawn(&child, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return false;
  std::thread([child] {
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
  return true;
}

}  // namespace qorve
