// Starting the sibling programs: the stand-in for WinExec. The first word of
// the command line names the program by its Windows name; it is started from
// the program folder without waiting for it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qorve {

// Splits a Windows command line into words: blanks separate, double quotes
// group, "\"" inside quotes is a quote.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

// The Linux executable name for a Windows program name ("SET.EXE" is
// "qorve-set", "QORVE.EXE" "qorve", "Pakgrab.EXE" "pakgrab"; any other name
// loses an ".exe" ending).
std::string ExecutableName(std::string_view windowsName);

// Starts the program in the program folder with the remaining words as its
// arguments and returns at once. False when the program is missing or could not
// be started; callers may ignore it. The child is reaped in the background.
bool LaunchProgram(std::string_view commandLine);

}  // namespace qorve
