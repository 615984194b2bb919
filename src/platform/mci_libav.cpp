// The "MPEGVideo" device for files GStreamer cannot demultiplex or decode but
// libavformat and libavcodec can: LibavMedia reads and decodes the file on a
// feeding thread of this device, and its pictures and sound enter a GStreamer
// pipeline through two appsrc elements, so that they end in the same sinks
// as playbin's (the video window, ALSA or the capture device) and play by
// the same clock. A seek or a new window stops the feeding thread and the
// pipeline, moves the decoder and starts both again from the new place; the
// times handed to GStreamer count from that place (origin_).
//
// Threads: the user-interface thread drives the device; the feeding thread
// owns `media_` while it runs (between StartFeeding and StopFeeding) and
// touches nothing else but the appsrc elements (which are thread-safe) and
// the atomic stop flag.
#include "platform/gstreamer_outputs.h"
#include "platform/libav_media.h"
#include "platform/mci_device.h"
#include "platform/mci_gstreamer.h"
#include "platform/video_surface.h"

#include <gst/app/gstappsrc.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

namespace qorve {
namespace {

constexpr GstClockTime kPrerollTimeout = 20 * GST_SECOND;
constexpr GstClockTime kStateTimeout = 5 * GST_SECOND;
// How much each appsrc may hold before the feeding thread waits: a few
// pictures, a second of sound. While the other branch has nothing queued
// (it waits for data further on in the file, as in the preroll) the limit
// may be passed, up to the hard limit.
constexpr uint64_t kQueuedPictures = 8;
constexpr uint64_t kMostQueuedPictures = 64;
constexpr uint64_t kMostQueuedPictureBytes = 256ull << 20;
constexpr uint64_t kQueuedSoundSeconds = 1;
constexpr uint64_t kMostQueuedSoundSeconds = 30;
constexpr auto kRoomPoll = std::chrono::milliseconds(2);
constexpr uint32_t kEndOverrunMs = 5000;

uint32_t ToMilliseconds(gint64 nanoseconds) {
  if (nanoseconds <= 0) return 0;
  const gint64 ms = nanoseconds / GST_MSECOND;
  return ms > 0xFFFFFFFFll ? 0xFFFFFFFFu : static_cast<uint32_t>(ms);
}

struct Branch {
  GstElement* source = nullptr;  // appsrc (owned by the pipeline)
  uint64_t limit = 0;            // bytes queued before the feeder waits
  uint64_t hardLimit = 0;        // bytes queued before it waits in any case
};

class LibavDevice final : public MciDevice {
 public:
  ~LibavDevice() override { Shutdown(); }

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

  MCIERROR Play() override {
    DrainBus();
    if (ended_) return MCIERR_NO_ERROR;
    if (gst_element_set_state(pipeline_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) return MCIERR_DRIVER;
    audio_.Play();
    mode_ = MCI_MODE_PLAY;
    return MCIERR_NO_ERROR;
  }

  MCIERROR Pause() override {
    DrainBus();
    if (ended_) return MCIERR_NO_ERROR;
    Hold();
    mode_ = MCI_MODE_PAUSE;
    return MCIERR_NO_ERROR;
  }

  MCIERROR Stop() override {
    DrainBus();
    if (!ended_) Hold();
    mode_ = MCI_MODE_STOP;
    return MCIERR_NO_ERROR;
  }

  MCIERROR Seek(uint32_t milliseconds) override {
    DrainBus();
    if (mode_ == MCI_MODE_PLAY) mode_ = MCI_MODE_STOP;  // a seek stops playback
    const uint32_t to = length_ > 0 ? std::min(milliseconds, length_) : milliseconds;
    StopFeeding(GST_STATE_READY);
    audio_.Pause();
    audio_.Reset();  // what was queued belongs to the old place
    return Start(static_cast<int64_t>(to) * GST_MSECOND);
  }

  uint32_t Position() override {
    DrainBus();
    if (ended_) return Length();
    gint64 position = 0;
    if (!gst_element_query_position(pipeline_, GST_FORMAT_TIME, &position)) return lastPosition_;
    lastPosition_ = ToMilliseconds(origin_ + position);
    // As the GStreamer device: the length is reached when the stream ends,
    // or when it runs on well past it.
    if (length_ > 0 && lastPosition_ >= length_) {
      lastPosition_ = lastPosition_ - length_ >= kEndOverrunMs ? length_ : length_ - 1;
    }
    return lastPosition_;
  }

  uint32_t Length() override { return length_; }

  uint32_t Mode() override {
    DrainBus();
    return mode_;
  }

  // A new window gets a new sink: the pipeline goes down, the sink is
  // exchanged, and playing starts again at the same place and mode.
  MCIERROR SetWindow(uintptr_t handle) override {
    auto* surface = reinterpret_cast<VideoSurface*>(handle);
    surface_ = surface;
    const uintptr_t window = surface ? surface->NativeWindow() : 0;
    if (!picture_.source || window == videoSink_.window) return MCIERR_NO_ERROR;
    const uint32_t position = Position();
    const uint32_t mode = Mode();
    StopFeeding(GST_STATE_NULL);
    audio_.Reset();
    ExchangeVideoSink(window);
    MCIERROR error = Start(static_cast<int64_t>(position) * GST_MSECOND);
    if (error != MCIERR_NO_ERROR && window != 0) {
      // Without a picture rather than without the file.
      StopFeeding(GST_STATE_NULL);
      ExchangeVideoSink(0);
      error = Start(static_cast<int64_t>(position) * GST_MSECOND);
    }
    if (error != MCIERR_NO_ERROR) return error;
    mode_ = mode == MCI_MODE_PAUSE ? MCI_MODE_PAUSE : MCI_MODE_STOP;
    return mode == MCI_MODE_PLAY ? Play() : MCIERR_NO_ERROR;
  }

  MCIERROR PutDestination(const MCI_RECT& rect) override {
    if (!surface_) return MCIERR_NO_ERROR;
    surface_->PlacePicture(rect.left, rect.top, rect.right, rect.bottom);
    PlaceGstreamerPicture(videoSink_, rect.right, rect.bottom);
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
    ExchangeVideoSink(0);
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

  // Puts a sink for `window` behind the picture branch (the pipeline is down).
  void ExchangeVideoSink(uintptr_t window) {
    if (videoSink_.element) {
      gst_element_unlink(convert_, videoSink_.element);
      gst_element_set_state(videoSink_.element, GST_STATE_NULL);
      gst_bin_remove(GST_BIN(pipeline_), videoSink_.element);
      ReleaseGstreamerVideoSink(videoSink_);
    }
    videoSink_ = MakeGstreamerVideoSink(window);
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
    if (change == GST_STATE_CHANGE_FAILURE) return BusError();
    feeder_ = std::thread([this] { Feed(); });
    if (change == GST_STATE_CHANGE_ASYNC) {
      GstMessage* message = gst_bus_timed_pop_filtered(
          bus_, kPrerollTimeout, static_cast<GstMessageType>(GST_MESSAGE_ASYNC_DONE | GST_MESSAGE_ERROR));
      if (!message) return MCIERR_DRIVER;  // hangs in preroll
      const bool done = GST_MESSAGE_TYPE(message) == GST_MESSAGE_ASYNC_DONE;
      if (!done) gst_bus_post(bus_, message);  // back on the bus for BusError
      else gst_message_unref(message);
      if (!done) return BusError();
    }
    return MCIERR_NO_ERROR;
  }

  // Ends the feeding thread and takes the pipeline down to `state`.
  void StopFeeding(GstState state) {
    stop_ = true;
    if (feeder_.joinable()) feeder_.join();
    if (pipeline_) {
      gst_element_set_state(pipeline_, state);
      gst_element_get_state(pipeline_, nullptr, nullptr, kStateTimeout);
    }
    if (bus_) {
      gst_bus_set_flushing(bus_, TRUE);
      gst_bus_set_flushing(bus_, FALSE);
    }
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
      // GStreamer's own memory: its streaming threads free it, under a
      // synchronisation of theirs that ours need not rely on.
      GstBuffer* buffer = gst_buffer_new_allocate(nullptr, out.bytes.size(), nullptr);
      if (!buffer) continue;  // no memory for this one: it is passed by
      gst_buffer_fill(buffer, 0, out.bytes.data(), out.bytes.size());
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

  void Hold() {
    gst_element_set_state(pipeline_, GST_STATE_PAUSED);
    gst_element_get_state(pipeline_, nullptr, nullptr, kStateTimeout);
    audio_.Pause();
  }

  void DrainBus() {
    if (!bus_) return;
    while (GstMessage* message = gst_bus_pop_filtered(
               bus_, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR))) {
      ended_ = true;
      mode_ = MCI_MODE_STOP;
      gst_message_unref(message);
    }
  }

  MCIERROR BusError() {
    MCIERROR mapped = MCIERR_DRIVER;
    while (GstMessage* message = gst_bus_timed_pop_filtered(bus_, GST_SECOND / 10, GST_MESSAGE_ERROR)) {
      GError* error = nullptr;
      gst_message_parse_error(message, &error, nullptr);
      if (mapped == MCIERR_DRIVER) mapped = MciErrorFromGstError(error);
      g_clear_error(&error);
      gst_message_unref(message);
    }
    return mapped;
  }

  void Shutdown() {
    DrainBus();
    if (ended_ && mode_ == MCI_MODE_STOP) audio_.PlayOut();
    StopFeeding(GST_STATE_NULL);
    ReleaseGstreamerVideoSink(videoSink_);
    if (bus_) gst_object_unref(bus_);
    if (pipeline_) gst_object_unref(pipeline_);
    bus_ = nullptr;
    pipeline_ = nullptr;
    audio_.Close();
  }

  std::unique_ptr<LibavMedia> media_;
  std::thread feeder_;
  std::atomic<bool> stop_{false};
  GstElement* pipeline_ = nullptr;
  GstBus* bus_ = nullptr;
  GstElement* convert_ = nullptr;  // the picture branch's converter, in front of the sink
  Branch picture_;
  Branch sound_;
  GstreamerVideoSink videoSink_;
  GstreamerAudioOutput audio_;
  VideoSurface* surface_ = nullptr;  // where pictures go (owned by the video window)
  int64_t origin_ = 0;               // ns: the media time the pipeline's time 0 stands for
  uint32_t length_ = 0;
  uint32_t lastPosition_ = 0;
  uint32_t mode_ = MCI_MODE_STOP;
  bool ended_ = false;  // the stream reached its end (or failed) since the last seek
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
