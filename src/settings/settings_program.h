// settings/: the settings program qorve-set.
//
// The settings program from start to end: load the settings, run the main
// dialog, write every setting but the window rectangle when it closes.
#pragma once

#include <functional>

namespace qorve {

class MainDialog;

// Runs the program inside an existing QApplication; `prepare` may connect the
// main dialog before it is shown. Returns the exit code (0).
int RunSettingsProgram(const std::function<void(MainDialog&)>& prepare = {});

}  // namespace qorve
