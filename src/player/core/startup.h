// player/core/: start-up, main window, media interface, factory, controller.
//
// The player's entry point: start-up, the message loop and the exit sequence.
#pragma once

namespace qorve {

// Runs the player on its command line. Without arguments it starts the
// settings program and returns 0 at once; with `--command NAME` it only sends
// that command to the running player (SendCommandToPlayer). Returns the
// program's exit code.
int RunPlayer(int argc, char** argv);

}  // namespace qorve
