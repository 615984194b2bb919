// qorve: plays or shows the file it is given, then the rest of its folder or
// playlist.
#include "player/core/startup.h"

int main(int argc, char** argv) {
  return qorve::RunPlayer(argc, argv);
}
