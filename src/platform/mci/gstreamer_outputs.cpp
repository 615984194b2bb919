#include "platform/mci/gstreamer_outputs.h"

#include "platform/mci/gl_renderer_probe.h"
#include "platform/mci/gstreamer_wave_out_sink.h"
#include "platform/mci/mci_device.h"

#include <gst/app/gstappsink.h>
#include <gst/video/video.h>
#include <gst/video/videooverlay.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace qorve {
namespace {

constexpr auto kPlayOutLimit = std::chrono::seconds(2);
// Pictures are scaled for an X image sink up to this size each way.
constexpr int kLargestScaledPicture = 16384;

enum class AudioKind { Alsa, CaptureRealTime, CaptureFast, None };

struct AudioChoice {
  AudioKind kind = AudioKind::None;
  std::string target;  // ALSA PCM name or capture path
};

AudioChoice ChooseAudio() {
  const char* setting = std::getenv("QORVE_AUDIO");
  const std::string_view value = setting ? setting : "";
  if (value.empty() || value == "alsa") {
    const char* device = std::getenv("QORVE_AUDIO_DEVICE");
    return {AudioKind::Alsa, device && *device ? device : "default"};
  }
  if (value.starts_with("wav:")) return {AudioKind::CaptureRealTime, std::string(value.substr(4))};
  if (value.starts_with("wav-fast:")) return {AudioKind::CaptureFast, std::string(value.substr(9))};
  return {};
}

// An element that opens its display (READY), as a reference we own; null
// when it does not exist or cannot open (no GL, no X server): such a sink
// would fail the whole pipeline later.
GstElement* OpeningSink(const char* name) {
  GstElement* sink = gst_element_factory_make(name, nullptr);
  if (!sink) return nullptr;
  gst_object_ref_sink(sink);
  const bool opens = gst_element_set_state(sink, GST_STATE_READY) != GST_STATE_CHANGE_FAILURE;
  gst_element_set_state(sink, GST_STATE_NULL);
  if (opens) return sink;
  gst_object_unref(sink);
  return nullptr;
}

// One OpenGL sink serves every video of the run, one after the other: each
// new sink opens a GL display and context of its own, and the GL driver keeps
// megabytes of every one (about 10 MB a video). The sink is taken again once
// the pipeline that held it is gone; a second video open at the same time
// gets a sink of its own.
GstElement* GlSink() {
  static GstElement* shared = nullptr;
  if (shared && GST_OBJECT_PARENT(shared) == nullptr) return GST_ELEMENT(gst_object_ref(shared));
  GstElement* sink = OpeningSink("glimagesink");
  if (sink && !shared) shared = GST_ELEMENT(gst_object_ref(sink));
  return sink;
}

// An X image sink draws each picture at its own size, centred: a scaler in
// front brings it to the size of its place in the window.
GstreamerVideoSink ScaledXImageSink() {
  GstreamerVideoSink made;
  GstElement* sink = OpeningSink("ximagesink");
  if (!sink) return made;
  GstElement* bin = gst_bin_new("scaled-ximagesink");
  GstElement* scale = gst_element_factory_make("videoscale", nullptr);
  GstElement* size = gst_element_factory_make("capsfilter", nullptr);
  if (!bin || !scale || !size) {
    // Without the scaler the sink still shows the picture, at its own size.
    if (bin) gst_object_unref(gst_object_ref_sink(bin));
    if (scale) gst_object_unref(gst_object_ref_sink(scale));
    if (size) gst_object_unref(gst_object_ref_sink(size));
    made.element = sink;
    made.overlay = sink;
    return made;
  }
  g_object_set(scale, "add-borders", FALSE, nullptr);
  gst_bin_add_many(GST_BIN(bin), scale, size, sink, nullptr);
  gst_object_unref(sink);  // the bin holds it now
  gst_element_link_many(scale, size, sink, nullptr);
  GstPad* target = gst_element_get_static_pad(scale, "sink");
  gst_element_add_pad(bin, gst_ghost_pad_new("sink", target));
  gst_object_unref(target);
  gst_object_ref_sink(bin);
  made.element = bin;
  made.overlay = sink;
  made.scale = size;
  return made;
}

// Hands each picture to the painter, as it falls due by the stream's clock.
GstFlowReturn OnPicture(GstAppSink* sink, gpointer data) {
  GstSample* sample = gst_app_sink_pull_sample(sink);
  if (!sample) return GST_FLOW_ERROR;
  GstVideoInfo info;
  GstBuffer* buffer = gst_sample_get_buffer(sample);
  GstCaps* caps = gst_sample_get_caps(sample);
  GstMapInfo map;
  if (buffer && caps && gst_video_info_from_caps(&info, caps) && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
    const int width = GST_VIDEO_INFO_WIDTH(&info);
    const int height = GST_VIDEO_INFO_HEIGHT(&info);
    const int stride = GST_VIDEO_INFO_PLANE_STRIDE(&info, 0);
    // The sizes the caps state must fit the bytes the buffer holds.
    const bool fits = width > 0 && height > 0 && stride >= 4 * width &&
                      static_cast<uint64_t>(stride) * static_cast<uint64_t>(height) <= map.size;
    if (fits) static_cast<VideoSurface*>(data)->ShowPicture(map.data, width, height, stride);
    gst_buffer_unmap(buffer, &map);
  }
  gst_sample_unref(sample);
  return GST_FLOW_OK;
}

// Converts the pictures to 32-bit pixels for a surface that paints them;
// only the newest waits when the surface is slow.
GstreamerVideoSink PaintingSink(VideoSurface* painter) {
  GstreamerVideoSink made;
  GstElement* bin = gst_bin_new("painted-pictures");
  GstElement* convert = gst_element_factory_make("videoconvert", nullptr);
  GstElement* sink = gst_element_factory_make("appsink", nullptr);
  if (!bin || !convert || !sink) {
    for (GstElement* element : {bin, convert, sink}) {
      if (element) gst_object_unref(gst_object_ref_sink(element));
    }
    return made;
  }
  GstCaps* caps = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGRx", nullptr);
  g_object_set(sink, "caps", caps, "max-buffers", 1u, "drop", TRUE, "sync", TRUE, nullptr);
  gst_caps_unref(caps);
  GstAppSinkCallbacks callbacks{};
  callbacks.new_sample = &OnPicture;
  gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, painter, nullptr);
  gst_bin_add_many(GST_BIN(bin), convert, sink, nullptr);
  gst_element_link(convert, sink);
  GstPad* target = gst_element_get_static_pad(convert, "sink");
  gst_element_add_pad(bin, gst_ghost_pad_new("sink", target));
  gst_object_unref(target);
  gst_object_ref_sink(bin);
  made.element = bin;
  made.target.painter = painter;
  return made;
}

// One sink of `output` for a native window, or none when it cannot open its
// display. An X server without an XVideo adaptor stays without one, so a
// failed xvimagesink is not tried again.
GstreamerVideoSink OutputSink(VideoOutput output) {
  GstreamerVideoSink made;
  switch (output) {
    case VideoOutput::OpenGl:
      made.element = GlSink();
      break;
    case VideoOutput::XVideo: {
      static bool absent = false;
      if (!absent) made.element = OpeningSink("xvimagesink");
      absent = made.element == nullptr;
      break;
    }
    case VideoOutput::XImage:
      return ScaledXImageSink();
  }
  made.overlay = made.element;
  return made;
}

// The first output of the order for this display that opens (see
// VideoOutputOrder), noted for the log.
GstreamerVideoSink WindowSink(const std::string_view requested) {
  const GlVerdict none;
  const GlVerdict& gl = requested.empty() ? GlRendererVerdict() : none;
  std::vector<VideoOutput> failed;
  for (const VideoOutput output : VideoOutputOrder(gl.rendering, requested)) {
    GstreamerVideoSink made = OutputSink(output);
    if (made.element) {
      NoteVideoOutput(DescribeVideoOutput(&output, failed, gl, !requested.empty()));
      return made;
    }
    failed.push_back(output);
  }
  NoteVideoOutput(DescribeVideoOutput(nullptr, failed, gl, !requested.empty()));
  return {};
}

// `ALSA PCM "default": Internal data stream error`: the output and the
// sink's message.
std::string DescribeSinkError(const std::string& device, const GError* error) {
  std::string text = "ALSA PCM \"" + device + "\":";
  if (error && error->message) text += std::string(" ") + error->message;
  return text;
}

}  // namespace

MCIERROR GstreamerAudioOutput::MakeSink(GstElement*& sink) {
  sink = nullptr;
  const AudioChoice choice = ChooseAudio();
  if (choice.kind == AudioKind::None) {
    const char* setting = std::getenv("QORVE_AUDIO");
    NoteSoundOutputFailure(std::string("QORVE_AUDIO \"") + (setting ? setting : "") + "\": no such sound output");
    return MCIERR_DEVICE_NOT_READY;
  }
  if (choice.kind == AudioKind::Alsa) {
    // The wave-out layer's ALSA device, opened now, so that a sound device
    // that cannot be opened fails here, with its cause.
    std::unique_ptr<WaveOutDevice> device = CreateAlsaWaveOut(choice.target);
    const MMRESULT opened = device->Open(WaveOutSinkFormat());
    if (opened != MMSYSERR_NOERROR) {
      NoteSoundOutputFailure(device->OpenFailure());
      return opened == MMSYSERR_ALLOCATED ? MCIERR_MUST_USE_SHAREABLE : MCIERR_DEVICE_NOT_READY;
    }
    GstElement* bin = gst_bin_new("wave-out");
    GstElement* convert = gst_element_factory_make("audioconvert", nullptr);
    GstElement* resample = gst_element_factory_make("audioresample", nullptr);
    if (!bin || !convert || !resample) {
      for (GstElement* element : {bin, convert, resample}) {
        if (element) gst_object_unref(gst_object_ref_sink(element));
      }
      return MCIERR_CANNOT_LOAD_DRIVER;
    }
    GstElement* output = MakeWaveOutSink(std::move(device));
    gst_bin_add_many(GST_BIN(bin), convert, resample, output, nullptr);
    gst_element_link_many(convert, resample, output, nullptr);
    GstPad* target = gst_element_get_static_pad(convert, "sink");
    gst_element_add_pad(bin, gst_ghost_pad_new("sink", target));
    gst_object_unref(target);
    gst_object_ref_sink(bin);
    if (outputSink_) gst_object_unref(outputSink_);
    outputSink_ = GST_ELEMENT(gst_object_ref(output));
    outputDevice_ = choice.target;
    sink = bin;
    return MCIERR_NO_ERROR;
  }

  capture_ = CreateCaptureWaveOut(
      {choice.target, choice.kind == AudioKind::CaptureFast ? CapturePace::Fast : CapturePace::RealTime});
  // The capture file's format is the wave-out sink's: every MCI device
  // writes the same one, so that files played in series append to one capture.
  const WAVEFORMATEX format = WaveOutSinkFormat();
  const MMRESULT opened = capture_->Open(format);
  if (opened != MMSYSERR_NOERROR) {
    const std::string failure = capture_->OpenFailure();
    NoteSoundOutputFailure(!failure.empty() ? failure : "capture \"" + choice.target + "\"");
    capture_.reset();
    return opened == MMSYSERR_ALLOCATED ? MCIERR_MUST_USE_SHAREABLE : MCIERR_DEVICE_NOT_READY;
  }
  capture_->Pause();

  GError* error = nullptr;
  GstElement* bin = gst_parse_bin_from_description("audioconvert ! audioresample ! appsink name=capture", TRUE, &error);
  if (!bin) {
    g_clear_error(&error);
    return MCIERR_CANNOT_LOAD_DRIVER;
  }
  gst_object_ref_sink(bin);
  GstElement* appsink = gst_bin_get_by_name(GST_BIN(bin), "capture");
  GstCaps* caps = gst_caps_new_simple("audio/x-raw", "format", G_TYPE_STRING, "S16LE", "rate", G_TYPE_INT,
                                      static_cast<int>(format.nSamplesPerSec), "channels", G_TYPE_INT,
                                      static_cast<int>(format.nChannels), "layout", G_TYPE_STRING, "interleaved",
                                      nullptr);
  gst_app_sink_set_caps(GST_APP_SINK(appsink), caps);
  gst_caps_unref(caps);
  // In real time the pipeline clock hands each buffer over when it is due,
  // so the capture's queue stays short and the position is what is heard.
  g_object_set(appsink, "sync", choice.kind == AudioKind::CaptureRealTime ? TRUE : FALSE, nullptr);
  GstAppSinkCallbacks callbacks{};
  callbacks.new_sample = [](GstAppSink* from, gpointer data) { return OnSample(GST_ELEMENT(from), data); };
  gst_app_sink_set_callbacks(GST_APP_SINK(appsink), &callbacks, this, nullptr);
  gst_object_unref(appsink);
  sink = bin;
  return MCIERR_NO_ERROR;
}

GstFlowReturn GstreamerAudioOutput::OnSample(GstElement* sink, gpointer data) {
  auto* self = static_cast<GstreamerAudioOutput*>(data);
  GstSample* sample = gst_app_sink_pull_sample(GST_APP_SINK(sink));
  if (!sample) return GST_FLOW_EOS;
  GstBuffer* buffer = gst_sample_get_buffer(sample);
  GstMapInfo map;
  if (buffer && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
    self->capture_->Write(map.data, static_cast<uint32_t>(map.size));
    self->written_ += map.size;
    gst_buffer_unmap(buffer, &map);
  }
  gst_sample_unref(sample);
  return GST_FLOW_OK;
}

void GstreamerAudioOutput::Play() {
  if (capture_) capture_->Restart();
}

void GstreamerAudioOutput::Pause() {
  if (capture_) capture_->Pause();
}

void GstreamerAudioOutput::Reset() {
  if (capture_) capture_->Reset();
}

void GstreamerAudioOutput::PlayOut() {
  if (!capture_) return;
  const auto until = std::chrono::steady_clock::now() + kPlayOutLimit;
  capture_->Restart();
  uint32_t played = 0;
  while (capture_->GetPosition(played) == MMSYSERR_NOERROR && played < static_cast<uint32_t>(written_.load()) &&
         std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

MCIERROR GstreamerAudioOutput::OutputError(GstMessage* message) const {
  if (!outputSink_ || !message || GST_MESSAGE_TYPE(message) != GST_MESSAGE_ERROR) return MCIERR_NO_ERROR;
  GstObject* from = GST_MESSAGE_SRC(message);
  const bool ours = from == GST_OBJECT(outputSink_) || (from && gst_object_has_as_ancestor(from, GST_OBJECT(outputSink_)));
  if (!ours) return MCIERR_NO_ERROR;
  GError* error = nullptr;
  gst_message_parse_error(message, &error, nullptr);
  NoteSoundOutputFailure(DescribeSinkError(outputDevice_, error));
  g_clear_error(&error);
  return MCIERR_DEVICE_NOT_READY;
}

void GstreamerAudioOutput::Close() {
  if (capture_) capture_->Close();
  if (outputSink_) {
    gst_object_unref(outputSink_);
    outputSink_ = nullptr;
  }
}

VideoTarget VideoTargetOf(VideoSurface* surface) {
  VideoTarget target;
  if (!surface) return target;
  target.window = surface->NativeWindow();
  if (target.window == 0 && surface->TakesPictures()) target.painter = surface;
  return target;
}

GstreamerVideoSink MakeGstreamerVideoSink(const VideoTarget& target) {
  GstreamerVideoSink made;
  if (target.window != 0) {
    const char* setting = std::getenv("QORVE_VIDEO_SINK");
    made = WindowSink(setting ? setting : "");
    if (made.overlay && GST_IS_VIDEO_OVERLAY(made.overlay)) {
      gst_video_overlay_set_window_handle(GST_VIDEO_OVERLAY(made.overlay), static_cast<guintptr>(target.window));
      gst_video_overlay_handle_events(GST_VIDEO_OVERLAY(made.overlay), FALSE);
      made.target.window = target.window;
    } else {
      ReleaseGstreamerVideoSink(made);
    }
  } else if (target.painter) {
    made = PaintingSink(target.painter);
  }
  if (!made.element) {
    made.element = gst_element_factory_make("fakevideosink", nullptr);
    if (!made.element) made.element = gst_element_factory_make("fakesink", nullptr);
    if (made.element) gst_object_ref_sink(made.element);
  }
  return made;
}

void ReleaseGstreamerVideoSink(GstreamerVideoSink& sink) {
  if (sink.element) gst_object_unref(sink.element);
  sink = GstreamerVideoSink{};
}

void PlaceGstreamerPicture(const GstreamerVideoSink& sink, int width, int height) {
  if (sink.target.window == 0) return;  // a painter fits the picture to its place itself
  if (sink.scale && width > 0 && height > 0) {
    GstCaps* caps = gst_caps_new_simple("video/x-raw", "width", G_TYPE_INT, std::min(width, kLargestScaledPicture),
                                        "height", G_TYPE_INT, std::min(height, kLargestScaledPicture),
                                        "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr);
    g_object_set(sink.scale, "caps", caps, nullptr);
    gst_caps_unref(caps);
  }
  if (sink.overlay && GST_IS_VIDEO_OVERLAY(sink.overlay)) gst_video_overlay_expose(GST_VIDEO_OVERLAY(sink.overlay));
}

}  // namespace qorve
