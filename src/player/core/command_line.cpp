#include "player/core/command_line.h"

#include "common/settings.h"

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

}  // namespace qorve
