// The sinks every GStreamer pipeline of the MCI devices ends in: the sound
// output QORVE_AUDIO asks for (the wave-out layer's ALSA device through the
// wave-out sink, whose position is the pipeline's clock, or its capture
// device through an appsink) and the video sink that draws into a native window
// (OpenGL, XVideo, or X images behind a scaler), hands the pictures to a surface that
// paints them, or drops them. User-interface thread, except the appsink
// callbacks, which run on GStreamer streaming threads: the capture's touches
// only the capture device (which serialises its own calls) and an atomic
// count, the pictures' only the painting surface's ShowPicture.
#pragma once

#include "platform/audio/wave_out.h"
#include "platform/mci/mci.h"
#include "platform/mci/video_surface.h"

#include <gst/gst.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace qorve {

// The sound output of one pipeline.
class GstreamerAudioOutput {
 public:
  GstreamerAudioOutput() = default;
  GstreamerAudioOutput(const GstreamerAudioOutput&) = delete;
  GstreamerAudioOutput& operator=(const GstreamerAudioOutput&) = delete;
  ~GstreamerAudioOutput() { Close(); }

  // Makes the sink element (a reference the caller owns) for QORVE_AUDIO.
  // The capture device is opened paused: nothing is heard before Play. The
  // ALSA device is opened here, so that a sound device that cannot be opened
  // fails now, with its cause, rather than as a pipeline that does not
  // preroll: MCIERR_MUST_USE_SHAREABLE when another program holds it, else
  // MCIERR_DEVICE_NOT_READY, with which output and why noted for
  // MciOpenFailure.
  MCIERROR MakeSink(GstElement*& sink);

  // For an error message that the sound output posted: notes which output
  // and why and returns MCIERR_DEVICE_NOT_READY; MCIERR_NO_ERROR for a
  // message of any other element.
  MCIERROR OutputError(GstMessage* message) const;

  // What the device does around the pipeline's own state changes.
  void Play();
  void Pause();
  void Reset();  // what was queued belongs to an old place
  // Lets the capture play out what it holds (at most 2 s), for a stream that
  // ended while playing, before the pipeline goes down.
  void PlayOut();
  void Close();

 private:
  static GstFlowReturn OnSample(GstElement* sink, gpointer data);

  std::unique_ptr<WaveOutDevice> capture_;
  GstElement* outputSink_ = nullptr;  // our reference to the wave-out sink, or null
  std::string outputDevice_;          // the ALSA PCM it plays to
  std::atomic<uint64_t> written_{0};  // bytes handed to the capture device (streaming thread)
};

// Where a pipeline's pictures go: a native window to draw into, else a
// surface that paints the decoded pictures itself, else nowhere.
struct VideoTarget {
  uintptr_t window = 0;
  VideoSurface* painter = nullptr;
  bool operator==(const VideoTarget&) const = default;
};

// The target a surface (may be null) offers.
VideoTarget VideoTargetOf(VideoSurface* surface);

// A video sink for one pipeline.
struct GstreamerVideoSink {
  GstElement* element = nullptr;  // what goes into the pipeline (a reference we own)
  GstElement* overlay = nullptr;  // the sink drawing into the window (no reference), or null
  GstElement* scale = nullptr;    // the size filter in front of an X image sink (no reference), or null
  VideoTarget target;             // where the pictures go; none: they are dropped
};

// For a native window, a sink drawing into it: the one QORVE_VIDEO_SINK
// names ("glimagesink", "xvimagesink" or "ximagesink"), else the first of
// VideoOutputOrder for this display that opens: OpenGL on a hardware
// renderer (it scales the picture to the window), XVideo, plain X images,
// which get a scaler in front so that the picture fills its place. Which one
// and why is noted for the log (TakeVideoOutputNote). The sink handles no
// window-system events, so clicks reach the player. For a painter, an
// application sink handing it each picture in 32-bit pixels at the
// stream's times. Without either, or when no sink opens, one that drops
// the pictures.
GstreamerVideoSink MakeGstreamerVideoSink(const VideoTarget& target);
void ReleaseGstreamerVideoSink(GstreamerVideoSink& sink);
// Puts the picture at that size: the scaler (if any) scales to it, and the
// sink redraws.
void PlaceGstreamerPicture(const GstreamerVideoSink& sink, int width, int height);

}  // namespace qorve
