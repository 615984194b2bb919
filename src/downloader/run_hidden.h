// Runs a program of the program folder without showing it and waits for its
// end, for at most a bounded time.
#pragma once

#include <cstdint>
#include <string_view>

namespace qorve {

constexpr uint32_t kRunHiddenLimitMs = 120000;

// The first word of `commandLine` names the program by its Windows name (as
// LaunchProgram maps it); it is started from the program folder with the other
// words as arguments, its input and output on /dev/null. `showMode` is kept
// for the call's shape; nothing is ever shown. Polls every 1 ms until the
// program ends; after `limitMs` it is killed. Returns its exit code, or -1 when
// it could not be started, was killed at the limit or died by a signal.
int RunHidden(std::string_view commandLine, int showMode, uint32_t limitMs = kRunHiddenLimitMs);

}  // namespace qorve
