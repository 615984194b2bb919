// qorve: plays or shows the file it is given, then the rest of its folder or
// playlist.
#include "platform/mci/gl_renderer_probe.h"
#include "player/core/startup.h"

#include <malloc.h>

int main(int argc, char** argv) {
  // Started again as the OpenGL renderer probe, the program ends here.
  qorve::AnswerGlRendererProbe();
  // Decoders, sinks and the GL driver run on threads of their own, and glibc
  // gives each thread a heap arena of its own; memory freed after a video
  // stays spread over those arenas, so a long series of videos grew by
  // megabytes a file. Two arenas keep the heap compact at no audible cost.
  mallopt(M_ARENA_MAX, 2);
  return qorve::RunPlayer(argc, argv);
}
