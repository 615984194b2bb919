// The "MPEGVideo" device for files GStreamer cannot demultiplex or decode but
// libavformat and libavcodec can: LibavMedia reads and decodes the file on a
// feeding thread of this device, and its pictures and sound enter a GStreamer
// pipeline through two appsrc elements, so that they end in the same sinks
// as playbin's (the video window, ALSA or the capture device) and play by
// the same clock. A seek or a new window stops the feeding thread and the
// pipeline, moves the decoder and starts both again from the new place; the
// times handed to GStreamer count from that place (origin_).
//
// Play, pause, the position and the window are those of every pipeline
// device (gstreamer_pipeline_device.h).
//
// Threads: the user-interface thread drives the device; the feeding thread
// owns `media_` while it runs (between Start and StopFeeding) and touches
// nothing else but the appsrc elements (which are thread-safe), the branches'
// limits and origin_ (both fixed while it runs) and the atomic stop flag.
#include "platform/mci/gstreamer_pipeline_device.h"
#include "platform/mci/libav_media.h"
#include "platform/mci/mci_gstreamer.h"

#include <gst/app/gstappsrc.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace qorve {
namespace {

// How long a failed state change's errors may take to reach the bus.
constexpr GstClockTime kErrorWait = GST_SECOND / 10;
// How much each appsrc may hold before the feeding thread waits: a few
// pictures (decoding one takes a few milliseconds; each more held is a whole
// picture's memory), a second of sound. While the other branch has nothing queued
// (it waits for data further on in the file, as in the preroll) the limit
// may be passed, up to the hard limit.
constexpr uint64_t kQueuedPictures = 3;
constexpr uint64_t kMostQueuedPictures = 64;
constexpr uint64_t kMostQueuedPictureBytes = 256ull << 20;
constexpr uint64_t kQueuedSoundSeconds = 1;
constexpr uint64_t kMostQueuedSoundSeconds = 30;
constexpr auto kRoomPoll = std::chrono::milliseconds(2);

struct Branch {
  GstElement* source = nullptr;  // appsrc (owned by the pipeline)
  uint64_t limit = 0;            // bytes queued before the feeder waits
  uint64_t hardLimit = 0;        // bytes queued before it waits in any case
};

class LibavDevice final : public GstreamerPipelineDevice {
 public:
  ~LibavDevice() override {
    PlayOutEndedStream();
    StopFeeding(GST_STATE_NULL);
    ReleasePipeline();
  }

  MCIERROR Open(const std::string& path) {
    media_ = LibavMedia::Open(path);
    if (!media_) return MCIERR_INVALID_FILE;
    // A file of which nothing decodes is no media file.
    if (media_->Next().kind == LibavMedia::Kind::End) return MCIERR_INVALID_FILE;
    length_ = MediaLengthFromStreams(path);

    pipeline_ = gst_pipeline_new(nullptr);
    if (!pipeline_) return MCIERR_CANNOT_LOAD_DRIVER;
    gst_object_ref_sink(pipeline_);
    bus_ = gst_element_get_bus(pipeline_);
    if (media_->HasPicture() && !BuildPictureBranch()) return MCIERR_CANNOT_LOAD_DRIVER;
    if (media_->HasSound()) {
      if (const MCIERROR error = BuildSoundBranch()) return error;
    }
    if (const MCIERROR error = Start(0)) return error;
    mode_ = MCI_MODE_STOP;
    return MCIERR_NO_ERROR;
  }

  MCIERROR Source(MCI_RECT& rect) override {
    rect = MCI_RECT{0, 0, 0, 0};
    if (media_ && media_->HasPicture()) {
      rect.right = media_->PictureFormat().width;
      rect.bottom = media_->PictureFormat().height;
    }
    return MCIERR_NO_ERROR;
  }

 private:
  gint64 MediaTime(gint64 pipelinePosition) const override { return origin_ + pipelinePosition; }

  MCIERROR PlayError() override { return MCIERR_DRIVER; }

  bool DrawsPictures() const override { return picture_.source != nullptr; }

  // The feeding thread starts again at the new place.
  MCIERROR MoveTo(uint32_t milliseconds) override {
    const uint32_t to = length_ > 0 ? std::min(milliseconds, length_) : milliseconds;
    StopFeeding(GST_STATE_READY);
    audio_.Pause();
    audio_.Reset();  // what was queued belongs to the old place
    return Start(static_cast<int64_t>(to) * GST_MSECOND);
  }

  // The sink is exchanged behind the picture branch while the pipeline is
  // down, and feeding starts again at the same place.
  MCIERROR Reopen(const VideoTarget& target, uint32_t position) override {
    StopFeeding(GST_STATE_NULL);
    audio_.Reset();
    ExchangeVideoSink(target);
    MCIERROR error = Start(static_cast<int64_t>(position) * GST_MSECOND);
    if (error != MCIERR_NO_ERROR && target != VideoTarget{}) {
      // Without a picture rather than without the file.
      StopFeeding(GST_STATE_NULL);
      ExchangeVideoSink({});
      error = Start(static_cast<int64_t>(position) * GST_MSECOND);
    }
    return error;
  }

  GstElement* MakeAppSource(GstCaps* caps) {
    GstElement* source = gst_element_factory_make("appsrc", nullptr);
    if (!source) {
      gst_caps_unref(caps);
      return nullptr;
    }
    g_object_set(source, "caps", caps, "format", GST_FORMAT_TIME, "is-live", FALSE, "block", FALSE, nullptr);
    gst_caps_unref(caps);
    return source;
  }

  bool BuildPictureBranch() {
    const LibavMedia::Picture& format = media_->PictureFormat();
    GstElement* source = MakeAppSource(gst_caps_new_simple(
        "video/x-raw", "format", G_TYPE_STRING, "I420", "width", G_TYPE_INT, format.width, "height", G_TYPE_INT,
        format.height, "framerate", GST_TYPE_FRACTION, 0, 1, "pixel-aspect-ratio", GST_TYPE_FRACTION,
        format.aspectNum, format.aspectDen, nullptr));
    convert_ = gst_element_factory_make("videoconvert", nullptr);
    if (!source || !convert_) {
      if (source) gst_object_unref(gst_object_ref_sink(source));
      if (convert_) gst_object_unref(gst_object_ref_sink(convert_));
      convert_ = nullptr;
      return false;
    }
    gst_bin_add_many(GST_BIN(pipeline_), source, convert_, nullptr);
    gst_element_link(source, convert_);
    const uint64_t bytes = media_->PictureBytes();
    picture_ = {source, bytes * kQueuedPictures, std::min(bytes * kMostQueuedPictures, kMostQueuedPictureBytes)};
    picture_.hardLimit = std::max(picture_.hardLimit, picture_.limit);
    ExchangeVideoSink({});
    return videoSink_.element != nullptr;
  }

  MCIERROR BuildSoundBranch() {
    const LibavMedia::Sound& format = media_->SoundFormat();
    GstElement* sink = nullptr;
    if (const MCIERROR error = audio_.MakeSink(sink)) return error;
    GstElement* source = MakeAppSource(gst_caps_new_simple(
        "audio/x-raw", "format", G_TYPE_STRING, "S16LE", "layout", G_TYPE_STRING, "interleaved", "rate", G_TYPE_INT,
        format.rate, "channels", G_TYPE_INT, format.channels, nullptr));
    GstElement* convert = gst_element_factory_make("audioconvert", nullptr);
    GstElement* resample = gst_element_factory_make("audioresample", nullptr);
    if (!source || !convert || !resample) {
      for (GstElement* element : {source, convert, resample}) {
        if (element) gst_object_unref(gst_object_ref_sink(element));
      }
      gst_object_unref(sink);
      return MCIERR_CANNOT_LOAD_DRIVER;
    }
    gst_bin_add_many(GST_BIN(pipeline_), source, convert, resample, sink, nullptr);
    gst_object_unref(sink);  // the pipeline holds it now
    gst_element_link_many(source, convert, resample, sink, nullptr);
    const uint64_t perSecond = static_cast<uint64_t>(format.rate) * static_cast<uint64_t>(format.channels) * 2;
    sound_ = {source, perSecond * kQueuedSoundSeconds, perSecond * kMostQueuedSoundSeconds};
    return MCIERR_NO_ERROR;
  }

  // Puts a sink for `target` behind the picture branch (the pipeline is down).
  void ExchangeVideoSink(const VideoTarget& target) {
    if (videoSink_.element) {
      gst_element_unlink(convert_, videoSink_.element);
      gst_element_set_state(videoSink_.element, GST_STATE_NULL);
      gst_bin_remove(GST_BIN(pipeline_), videoSink_.element);
      ReleaseGstreamerVideoSink(videoSink_);
    }
    videoSink_ = MakeGstreamerVideoSink(target);
    if (!videoSink_.element) return;
    gst_bin_add(GST_BIN(pipeline_), videoSink_.element);  // the pipeline takes a reference of its own
    gst_element_link(convert_, videoSink_.element);
  }

  // Starts feeding from `position` (ns from the media's start) and brings
  // the pipeline to PAUSED with the first picture and sound at the sinks.
  MCIERROR Start(int64_t position) {
    origin_ = position;
    media_->SeekTo(position);
    ended_ = false;
    lastPosition_ = ToMilliseconds(position);
    stop_ = false;
    // The sources take buffers once they are started (PAUSED), so the
    // feeding thread begins after the state change has been asked for.
    const GstStateChangeReturn change = gst_element_set_state(pipeline_, GST_STATE_PAUSED);
    if (change == GST_STATE_CHANGE_FAILURE) return BusError(kErrorWait, kErrorWait);
    feeder_ = std::thread([this] { Feed(); });
    if (change == GST_STATE_CHANGE_ASYNC) {
      const PrerollWait wait = WaitForPreroll();
      if (wait == PrerollWait::Hung) return MCIERR_DRIVER;
      if (wait == PrerollWait::Failed) return BusError(kErrorWait, kErrorWait);
    }
    return MCIERR_NO_ERROR;
  }

  // Ends the feeding thread and takes the pipeline down to `state`.
  void StopFeeding(GstState state) {
    stop_ = true;
    if (feeder_.joinable()) feeder_.join();
    TakeDown(state);
  }

  void Feed() {
    while (!stop_) {
      LibavMedia::Output out = media_->Next();
      if (out.kind == LibavMedia::Kind::End) {
        for (const Branch* branch : {&picture_, &sound_}) {
          if (branch->source) gst_app_src_end_of_stream(GST_APP_SRC(branch->source));
        }
        return;
      }
      const bool isPicture = out.kind == LibavMedia::Kind::Picture;
      const Branch& branch = isPicture ? picture_ : sound_;
      if (!branch.source || out.bytes.empty()) continue;
      if (!WaitForRoom(branch, isPicture ? sound_ : picture_)) return;
      // A copy the buffer owns: GStreamer may let go of it on any streaming
      // thread, and its reference counting is invisible to a race detector
      // that sees our own frees of the decoded bytes.
      GstBuffer* buffer = gst_buffer_new_memdup(out.bytes.data(), out.bytes.size());
      GST_BUFFER_PTS(buffer) = static_cast<GstClockTime>(std::max<int64_t>(out.time - origin_, 0));
      GST_BUFFER_DURATION(buffer) = static_cast<GstClockTime>(std::max<int64_t>(out.duration, 0));
      if (gst_app_src_push_buffer(GST_APP_SRC(branch.source), buffer) != GST_FLOW_OK) return;
    }
  }

  // Waits until `branch` may take more; false when the device stops.
  bool WaitForRoom(const Branch& branch, const Branch& other) {
    while (!stop_) {
      const uint64_t queued = gst_app_src_get_current_level_bytes(GST_APP_SRC(branch.source));
      if (queued < branch.limit) return true;
      const bool otherStarves =
          other.source && gst_app_src_get_current_level_bytes(GST_APP_SRC(other.source)) == 0;
      if (otherStarves && queued < branch.hardLimit) return true;
      std::this_thread::sleep_for(kRoomPoll);
    }
    return false;
  }

  std::unique_ptr<LibavMedia> media_;
  std::thread feeder_;
  std::atomic<bool> stop_{false};
  GstElement* convert_ = nullptr;  // the picture branch's converter, in front of the sink
  Branch picture_;
  Branch sound_;
  int64_t origin_ = 0;  // ns: the media time the pipeline's time 0 stands for
};

}  // namespace

std::unique_ptr<MciDevice> OpenLibavDevice(const std::string& path, MCIERROR& error) {
  if (!GstreamerAvailable()) {
    error = MCIERR_CANNOT_LOAD_DRIVER;
    return nullptr;
  }
  auto device = std::make_unique<LibavDevice>();
  error = device->Open(path);
  if (error != MCIERR_NO_ERROR) return nullptr;
  return device;
}

}  // namespace qorve
