// The player's command line: `qorve <file> [-B|-L|-C|-F|-R]...`, or
// `qorve --command NAME` to send a command to the running player.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace qorve {

struct Settings;

// Applies every switch in argument order (the last one wins), from the
// program name on. A switch is an argument starting with "-", judged by its
// second character in either case: B tray and loop, L loop, C series, F full
// screen video, R random; anything else is ignored. Only the run-time values
// change; nothing is written to the settings file.
void ApplySwitches(const std::vector<std::string>& arguments, Settings& settings);

// `--command NAME` or `--command=NAME` anywhere after the program name: the
// program only sends NAME to the running player and plays nothing.
struct CommandCall {
  std::string name;             // as given; empty when none follows
  bool strayArguments = false;  // arguments beside the switch and its name
};

// The command call among the arguments (from the program name on); none when
// no argument is the switch.
std::optional<CommandCall> FindCommandCall(const std::vector<std::string>& arguments);

}  // namespace qorve
