// The trace log LOG.TXT in the settings folder, written when KESTRAVOX LOG is 1.
// Safe to call from the user-interface thread and the wave-out worker at once:
// every line goes to the file in one write, so lines never mix.
#pragma once

#include <string_view>

namespace qorve {

// Appends "\"text\" , \"number\" \r\n". The first line of a run creates the log
// anew (an old one is emptied). Returns 0 when logging is off, 1 otherwise
// (also when the file could not be made: logging never stops the program).
// Lines of any length are written whole.
int Log(std::string_view text, long number);

// Closes the log. Lines logged afterwards (destructors at process exit) are
// appended: only the first line of a run empties the file. Call it only when
// no other thread can log (the exit sequence).
void CloseLog();

// Closes the log and forgets that this run has logged, so that the next line
// empties the file again as a new run does (tests).
void ResetLogRunForTesting();

}  // namespace qorve
