// What OpenGL renderer this display has, learnt without loading the GL driver
// into the player: a machine without a GPU device node, or with software
// rendering forced, has a software renderer; otherwise a child process (the
// program itself, started again with a private variable) creates a context
// through GStreamer's GL library, prints GL_RENDERER and exits. Mesa's
// software renderer alone would keep tens of megabytes of LLVM resident in
// the player for good.
#pragma once

#include "platform/mci/video_output_choice.h"

namespace qorve {

// Call first thing in main(): when the process was started as the probe it
// prints the renderer (or nothing) and exits here; otherwise it returns and
// marks this program as one that answers the probe. In a program that never
// calls it (tests, tools) no probe is started and a machine with a GPU
// device counts as having no OpenGL.
void AnswerGlRendererProbe();

// The verdict for this process, worked out on the first call (a probe takes
// at most a few seconds; one that fails or hangs counts as Missing) and kept.
// User-interface thread.
const GlVerdict& GlRendererVerdict();

}  // namespace qorve
