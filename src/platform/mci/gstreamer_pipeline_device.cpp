#include "platform/mci/gstreamer_pipeline_device.h"

#include "platform/mci/mci_gstreamer.h"
#include "platform/mci/video_surface.h"

#include <cmath>

namespace qorve {
namespace {

constexpr GstClockTime kPrerollTimeout = 20 * GST_SECOND;
// How far past its stated length a stream may play before its end is taken
// as reached without the stream's own end.
constexpr uint32_t kEndOverrunMs = 5000;

}  // namespace

MCIERROR GstreamerPipelineDevice::Play() {
  DrainBus();
  if (ended_) return MCIERR_NO_ERROR;  // at the end: nothing left to play
  if (gst_element_set_state(pipeline_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) return PlayError();
  audio_.Play();
  mode_ = MCI_MODE_PLAY;
  return MCIERR_NO_ERROR;
}

MCIERROR GstreamerPipelineDevice::Pause() {
  DrainBus();
  if (ended_) return MCIERR_NO_ERROR;
  Hold();
  mode_ = MCI_MODE_PAUSE;
  return MCIERR_NO_ERROR;
}

MCIERROR GstreamerPipelineDevice::Stop() {
  DrainBus();
  if (!ended_) Hold();
  mode_ = MCI_MODE_STOP;
  return MCIERR_NO_ERROR;
}

MCIERROR GstreamerPipelineDevice::Seek(uint32_t milliseconds) {
  DrainBus();
  if (mode_ == MCI_MODE_PLAY) mode_ = MCI_MODE_STOP;
  return MoveTo(milliseconds);
}

uint32_t GstreamerPipelineDevice::Position() {
  DrainBus();
  if (ended_) return Length();
  gint64 position = 0;
  if (!gst_element_query_position(pipeline_, GST_FORMAT_TIME, &position)) return lastPosition_;
  lastPosition_ = ToMilliseconds(MediaTime(position));
  // The length is reached when the stream ends. Until then the position
  // stays short of it: a stream that states too short a duration (an MPEG
  // program stream) still has sound to play, which the player would cut off
  // on reaching the length. One that runs on well past its length without
  // ending is taken to be at its end, so that it cannot stay there for good.
  if (length_ > 0 && lastPosition_ >= length_) {
    lastPosition_ = lastPosition_ - length_ >= kEndOverrunMs ? length_ : length_ - 1;
  }
  return lastPosition_;
}

uint32_t GstreamerPipelineDevice::Mode() {
  DrainBus();
  return mode_;
}

MCIERROR GstreamerPipelineDevice::SetWindow(uintptr_t handle) {
  auto* surface = reinterpret_cast<VideoSurface*>(handle);
  surface_ = surface;
  const VideoTarget target = VideoTargetOf(surface);
  if (!DrawsPictures() || target == videoSink_.target) return MCIERR_NO_ERROR;
  const uint32_t position = Position();
  const uint32_t mode = Mode();
  if (const MCIERROR error = Reopen(target, position)) return error;
  mode_ = mode == MCI_MODE_PAUSE ? MCI_MODE_PAUSE : MCI_MODE_STOP;
  return mode == MCI_MODE_PLAY ? Play() : MCIERR_NO_ERROR;
}

MCIERROR GstreamerPipelineDevice::PutDestination(const MCI_RECT& rect) {
  if (!surface_) return MCIERR_NO_ERROR;
  surface_->PlacePicture(rect.left, rect.top, rect.right, rect.bottom);
  // The place is in the window's logical pixels; the sink fills device pixels.
  const double ratio = surface_->DevicePixelRatio();
  if (ratio == 1.0 || !(ratio > 0.0)) {
    PlaceGstreamerPicture(videoSink_, rect.right, rect.bottom);
  } else {
    PlaceGstreamerPicture(videoSink_, static_cast<int>(std::lround(rect.right * ratio)),
                          static_cast<int>(std::lround(rect.bottom * ratio)));
  }
  return MCIERR_NO_ERROR;
}

uint32_t GstreamerPipelineDevice::ToMilliseconds(gint64 nanoseconds) {
  if (nanoseconds <= 0) return 0;
  const gint64 ms = nanoseconds / GST_MSECOND;
  return ms > 0xFFFFFFFFll ? 0xFFFFFFFFu : static_cast<uint32_t>(ms);
}

void GstreamerPipelineDevice::Hold() {
  gst_element_set_state(pipeline_, GST_STATE_PAUSED);
  WaitForStateChange();
  audio_.Pause();
}

void GstreamerPipelineDevice::WaitForStateChange() {
  gst_element_get_state(pipeline_, nullptr, nullptr, kStateTimeout);
}

void GstreamerPipelineDevice::TakeDown(GstState state) {
  if (pipeline_) {
    gst_element_set_state(pipeline_, state);
    WaitForStateChange();
  }
  if (bus_) {
    gst_bus_set_flushing(bus_, TRUE);
    gst_bus_set_flushing(bus_, FALSE);
  }
}

void GstreamerPipelineDevice::DrainBus() {
  if (!bus_) return;
  while (GstMessage* message =
             gst_bus_pop_filtered(bus_, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR))) {
    ended_ = true;
    mode_ = MCI_MODE_STOP;
    gst_message_unref(message);
  }
}

GstreamerPipelineDevice::PrerollWait GstreamerPipelineDevice::WaitForPreroll() {
  GstMessage* message = gst_bus_timed_pop_filtered(
      bus_, kPrerollTimeout, static_cast<GstMessageType>(GST_MESSAGE_ASYNC_DONE | GST_MESSAGE_ERROR));
  if (!message) return PrerollWait::Hung;
  if (GST_MESSAGE_TYPE(message) != GST_MESSAGE_ASYNC_DONE) {
    gst_bus_post(bus_, message);  // back on the bus for BusError
    return PrerollWait::Failed;
  }
  gst_message_unref(message);
  return PrerollWait::Done;
}

MCIERROR GstreamerPipelineDevice::BusError(GstClockTime firstWait, GstClockTime nextWait, bool* flowError) {
  MCIERROR mapped = MCIERR_DRIVER;
  GstClockTime wait = firstWait;
  while (bus_) {
    GstMessage* message = gst_bus_timed_pop_filtered(bus_, wait, GST_MESSAGE_ERROR);
    if (!message) break;
    GError* error = nullptr;
    gst_message_parse_error(message, &error, nullptr);
    // The sound output's errors are the device's, whatever GStreamer calls
    // them (a sink may report a PCM it cannot find as "not found").
    MCIERROR found = audio_.OutputError(message);
    if (found == MCIERR_NO_ERROR) found = MciErrorFromGstError(error);
    if (flowError && error && error->domain == GST_STREAM_ERROR && error->code == GST_STREAM_ERROR_FAILED) {
      *flowError = true;
    }
    g_clear_error(&error);
    gst_message_unref(message);
    if (mapped == MCIERR_DRIVER) mapped = found;
    wait = nextWait;
  }
  return mapped;
}

void GstreamerPipelineDevice::PlayOutEndedStream() {
  DrainBus();
  if (ended_ && mode_ == MCI_MODE_STOP) audio_.PlayOut();
}

void GstreamerPipelineDevice::ReleasePipeline() {
  if (pipeline_) {
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    gst_object_unref(pipeline_);
    pipeline_ = nullptr;
  }
  if (bus_) {
    gst_object_unref(bus_);
    bus_ = nullptr;
  }
  ReleaseGstreamerVideoSink(videoSink_);
  audio_.Close();
}

}  // namespace qorve
