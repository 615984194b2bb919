// A GStreamer audio sink that plays through a wave-out device, whose position
// is the pipeline's audio clock. So the pipeline's time line is what has been
// heard: where the device is lost and holds its position (a sound server that
// restarts), the pipeline holds too, and resumes where the sound stopped.
#pragma once

#include "platform/audio/wave_out.h"

#include <gst/gst.h>

#include <memory>

namespace qorve {

// The one format the sink takes: 44.1 kHz 16-bit stereo (a converter and a
// resampler in front of it bring every stream to it).
WAVEFORMATEX WaveOutSinkFormat();

// A new sink (a floating reference) playing through `device`, which must be
// open in WaveOutSinkFormat(); the sink owns it and closes it when it goes.
GstElement* MakeWaveOutSink(std::unique_ptr<WaveOutDevice> device);

}  // namespace qorve
