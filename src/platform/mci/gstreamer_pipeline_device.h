// What the MCI devices that play through one GStreamer pipeline do alike:
// play, pause and stop around the pipeline's state, the end of the stream and
// errors taken from its bus, the position by the pipeline's clock held short
// of the length until the end, the window and the picture's place. Each
// device builds, prerolls and seeks its own pipeline (mci_gstreamer.cpp,
// mci_libav.cpp).
//
// Threads: the user-interface thread calls everything here; no member is
// touched from GStreamer's streaming threads or a device's own threads.
#pragma once

#include "platform/mci/gstreamer_outputs.h"
#include "platform/mci/mci_device.h"

#include <gst/gst.h>

#include <cstdint>

namespace qorve {

class VideoSurface;

class GstreamerPipelineDevice : public MciDevice {
 public:
  ~GstreamerPipelineDevice() override { ReleasePipeline(); }

  MCIERROR Play() override;
  MCIERROR Pause() override;
  MCIERROR Stop() override;
  // A seek stops a playing device; the device moves by MoveTo.
  MCIERROR Seek(uint32_t milliseconds) override;
  uint32_t Position() override;
  uint32_t Length() override { return length_; }
  uint32_t Mode() override;
  // Draws the pictures into `handle`, a VideoSurface (0: nowhere). A new
  // window needs a new sink, which the pipeline cannot take while it runs:
  // the device reopens (Reopen) and returns to its place and mode.
  MCIERROR SetWindow(uintptr_t handle) override;
  // The picture's place in the window: left, top, width and height (MCI_PUT
  // carries the width and height in right and bottom).
  MCIERROR PutDestination(const MCI_RECT& rect) override;

 protected:
  static constexpr GstClockTime kStateTimeout = 5 * GST_SECOND;

  enum class PrerollWait { Done, Hung, Failed };

  // Milliseconds of `nanoseconds`, 0 below 0, saturated at 32 bits.
  static uint32_t ToMilliseconds(gint64 nanoseconds);

  // The media time (ns from the media's start) of the pipeline's position.
  virtual gint64 MediaTime(gint64 pipelinePosition) const = 0;
  // The error to report when the pipeline refuses to go to PLAYING.
  virtual MCIERROR PlayError() = 0;
  // Whether the pipeline has pictures to place in a window at all.
  virtual bool DrawsPictures() const = 0;
  // Moves to `milliseconds` from the media's start; the mode is left as it
  // is (paused or stopped).
  virtual MCIERROR MoveTo(uint32_t milliseconds) = 0;
  // Takes the pipeline down, gives it a sink for `target` (a device may fall
  // back to one that drops the pictures), prerolls it again and moves to
  // `position` (ms). SetWindow sets the mode afterwards.
  virtual MCIERROR Reopen(const VideoTarget& target, uint32_t position) = 0;

  // The pipeline paused, and the capture device with it.
  void Hold();
  void WaitForStateChange();
  // Brings the pipeline (if any) to `state`, waits for it, and drops what
  // its bus holds.
  void TakeDown(GstState state);
  // Takes note of the end of the stream and of errors while playing (both
  // stop the device).
  void DrainBus();
  // After a state change to PAUSED answered ASYNC: waits for the first
  // buffers at the sinks. A Failed preroll leaves its error on the bus for
  // BusError.
  PrerollWait WaitForPreroll();
  // The error that made a state change fail. Elements post their errors from
  // their own threads, so the message may arrive a little after the failure:
  // the first is waited for up to `firstWait`, each further one up to
  // `nextWait`; of several, the first that names a cause is taken. An error
  // of the sound output is MCIERR_DEVICE_NOT_READY or
  // MCIERR_MUST_USE_SHAREABLE (GstreamerAudioOutput::OutputError).
  // `flowError` (if given) is set when one is a stream's flow error.
  MCIERROR BusError(GstClockTime firstWait, GstClockTime nextWait, bool* flowError = nullptr);
  // A stream that ended while the device stopped plays out what the capture
  // still holds; called before the device goes down.
  void PlayOutEndedStream();
  // Lets go of the pipeline, its bus, the video sink and the sound output.
  void ReleasePipeline();

  GstElement* pipeline_ = nullptr;
  GstBus* bus_ = nullptr;
  GstreamerVideoSink videoSink_;     // our reference to the pipeline's video sink
  VideoSurface* surface_ = nullptr;  // where pictures go (owned by the video window)
  GstreamerAudioOutput audio_;
  uint32_t mode_ = MCI_MODE_STOP;
  bool ended_ = false;  // the stream reached its end (or failed) since the last seek
  uint32_t length_ = 0;
  uint32_t lastPosition_ = 0;
};

}  // namespace qorve
