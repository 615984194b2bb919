#include "player/core/command_line.h"

#include "common/settings.h"

#include <string_view>

namespace qorve {

void ApplySwitches(const std::vector<std::string>& arguments, Settings& settings) {
  for (const std::string& argument : arguments) {
    if (argument.size() < 2 || argument[0] != '-') continue;
    switch (argument[1]) {
      case 'B':
      case 'b':
        settings.winsetTask = 1;
        settings.soundsetLoop = 1;
        break;
      case 'L':
      case 'l':
        settings.soundsetLoop = 1;
        break;
      case 'C':
      case 'c':
        settings.soundsetLoop = 2;
        break;
      case 'F':
      case 'f':
        settings.videosetFull = 1;
        break;
      case 'R':
      case 'r':
        settings.soundsetLoop = 3;
        break;
      default:
        break;
    }
  }
}

std::optional<CommandCall> FindCommandCall(const std::vector<std::string>& arguments) {
  constexpr std::string_view kSwitch = "--command";
  std::optional<CommandCall> call;
  std::size_t used = 1;  // the program name
  for (std::size_t i = 1; i < arguments.size() && !call; ++i) {
    const std::string_view argument = arguments[i];
    if (argument == kSwitch) {
      call.emplace();
      ++used;
      if (i + 1 < arguments.size()) {
        call->name = arguments[i + 1];
        ++used;
      }
    } else if (argument.starts_with(kSwitch) && argument[kSwitch.size()] == '=') {
      call.emplace();
      call->name = argument.substr(kSwitch.size() + 1);
      ++used;
    }
  }
  if (call) call->strayArguments = arguments.size() > used;
  return call;
}

}  // namespace qorve
