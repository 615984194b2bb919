// The player's command line: `qorve <file> [-B|-L|-C|-F|-R]...`.
#pragma once

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

}  // namespace qorve
