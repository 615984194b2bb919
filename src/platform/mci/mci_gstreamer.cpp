// The "MPEGVideo" MCI device (and the one a file's extension opens): a
// GStreamer playbin prerolled at open, driven by the user-interface thread.
// Sound goes to the wave-out layer's ALSA device through the wave-out sink
// (gstreamer_wave_out_sink.h), or, for the capture settings of
// QORVE_AUDIO, into the wave-out layer's capture device, paced by the
// pipeline clock ("wav:") or as fast as it decodes ("wav-fast:")
// (gstreamer_outputs.h). Files playbin cannot demultiplex, or whose pictures
// it cannot decode, are handed to the libavformat device (mci_libav.cpp).
#include "platform/mci/mci_gstreamer.h"

#include "platform/mci/file_gate.h"
#include "platform/mci/gstreamer_pipeline_device.h"
#include "platform/mci/libav_media.h"

#include <cstdint>
#include <filesystem>

namespace qorve {
namespace {

// How long a failed state change's error may take to reach the bus.
constexpr GstClockTime kErrorWait = GST_SECOND;
constexpr int kPrerollAttempts = 3;
// playbin's GST_PLAY_FLAG_SOFT_COLORBALANCE (GstPlayFlags is not public).
constexpr guint kPlayFlagSoftColorBalance = 1u << 10;
// Pictures up to this many pixels (1280 × 720) are decoded by one thread.
constexpr int64_t kOneThreadPicture = 1280 * 720;

// GStreamer's own AIFF parser (1.22) now and then pushes its first buffer
// before playbin has linked its pad, stops with "not-linked", and playbin
// swallows the error, so the preroll never ends. libav's AIFF demuxer reads
// the same files without that race, so it is preferred; what it cannot hand
// over (IsWideAiffSound) goes to the libavformat device instead.
void PreferReliableParsers() {
  GstRegistry* registry = gst_registry_get();
  if (GstPluginFeature* aiff = gst_registry_lookup_feature(registry, "aiffparse")) {
    if (GstPluginFeature* libav = gst_registry_lookup_feature(registry, "avdemux_aiff")) {
      gst_plugin_feature_set_rank(aiff, GST_RANK_NONE);
      gst_object_unref(libav);
    }
    gst_object_unref(aiff);
  }
}

bool InitGstreamer() {
  static const bool ready = [] {
    if (!gst_init_check(nullptr, nullptr, nullptr)) return false;
    PreferReliableParsers();
    KeepGstreamerToLocalFiles();
    return true;
  }();
  return ready;
}

class GstreamerDevice final : public GstreamerPipelineDevice {
 public:
  ~GstreamerDevice() override {
    PlayOutEndedStream();
    ReleasePipeline();
  }

  MCIERROR Open(const GstreamerSource& source) {
    if (!InitGstreamer()) return MCIERR_CANNOT_LOAD_DRIVER;
    pipeline_ = gst_element_factory_make("playbin", nullptr);
    if (!pipeline_) return MCIERR_CANNOT_LOAD_DRIVER;
    gst_object_ref_sink(pipeline_);
    g_object_set(pipeline_, "uri", source.uri.c_str(), nullptr);
    // The colour balance is never adjusted: no balance element in every
    // picture's way.
    guint flags = 0;
    g_object_get(pipeline_, "flags", &flags, nullptr);
    g_object_set(pipeline_, "flags", flags & ~kPlayFlagSoftColorBalance, nullptr);
    // No window yet: pictures of a file with video are decoded and dropped.
    SetVideoSink({});
    GstElement* audioSink = nullptr;
    if (const MCIERROR error = audio_.MakeSink(audioSink)) return error;
    g_object_set(pipeline_, "audio-sink", audioSink, nullptr);
    gst_object_unref(audioSink);  // playbin holds its own reference
    g_signal_connect(pipeline_, "element-setup", G_CALLBACK(OnElementSetup), nullptr);
    if (source.setupSource) {
      setupSource_ = source.setupSource;
      g_signal_connect(pipeline_, "source-setup", G_CALLBACK(OnSourceSetup), this);
    }
    bus_ = gst_element_get_bus(pipeline_);

    if (const MCIERROR error = Preroll()) return error;
    QueryLength();
    if (length_ == 0 && !source.path.empty()) length_ = MediaLengthFromStreams(source.path);
    // Some streams (MPEG program streams) start their clock past 0; the
    // device's times count from the first picture or sound.
    gint64 start = 0;
    if (gst_element_query_position(pipeline_, GST_FORMAT_TIME, &start) && start > 0) startOffset_ = start;
    mode_ = MCI_MODE_STOP;
    return MCIERR_NO_ERROR;
  }

  uint32_t Length() override {
    if (length_ == 0) QueryLength();  // some streams learn their length only while playing
    return length_;
  }

  MCIERROR SetSpeed(uint32_t thousandths) override {
    if (thousandths == 0) return MCIERR_OUTOFRANGE;
    DrainBus();
    rate_ = thousandths / 1000.0;
    if (ended_) return MCIERR_NO_ERROR;
    gint64 position = 0;
    gst_element_query_position(pipeline_, GST_FORMAT_TIME, &position);
    return gst_element_seek(pipeline_, rate_, GST_FORMAT_TIME,
                            static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                            GST_SEEK_TYPE_SET, position, GST_SEEK_TYPE_NONE, GST_CLOCK_TIME_NONE)
               ? MCIERR_NO_ERROR
               : MCIERR_DRIVER;
  }

  // The picture's size (0 × 0 for sound alone).
  MCIERROR Source(MCI_RECT& rect) override {
    rect = MCI_RECT{0, 0, 0, 0};
    GstPad* pad = nullptr;
    g_signal_emit_by_name(pipeline_, "get-video-pad", 0, &pad);
    if (!pad) return MCIERR_NO_ERROR;
    if (GstCaps* caps = gst_pad_get_current_caps(pad)) {
      const GstStructure* structure = gst_caps_get_structure(caps, 0);
      gst_structure_get_int(structure, "width", &rect.right);
      gst_structure_get_int(structure, "height", &rect.bottom);
      gst_caps_unref(caps);
    }
    gst_object_unref(pad);
    return MCIERR_NO_ERROR;
  }

 private:
  gint64 MediaTime(gint64 pipelinePosition) const override { return pipelinePosition - startOffset_; }

  MCIERROR PlayError() override { return BusError(kErrorWait, 0); }

  // playbin always has a video sink, even for sound alone.
  bool DrawsPictures() const override { return true; }

  MCIERROR MoveTo(uint32_t milliseconds) override {
    Hold();
    if (!SeekTo(static_cast<gint64>(milliseconds) * GST_MSECOND)) return MCIERR_DRIVER;
    return MCIERR_NO_ERROR;
  }

  // A sink of playbin cannot be exchanged while it runs, so the pipeline
  // goes down, gets the new sink and prerolls again.
  MCIERROR Reopen(const VideoTarget& target, uint32_t position) override {
    TakeDown(GST_STATE_NULL);
    audio_.Reset();
    SetVideoSink(target);
    ended_ = false;
    if (Preroll() != MCIERR_NO_ERROR) {
      // Without a picture rather than without the file. The failed sink's
      // errors are dropped with the bus's messages.
      TakeDown(GST_STATE_NULL);
      SetVideoSink({});
      if (const MCIERROR again = Preroll()) return again;
    }
    if (position > 0) SeekTo(static_cast<gint64>(position) * GST_MSECOND);
    return MCIERR_NO_ERROR;
  }

  // The sink for `target` (see MakeGstreamerVideoSink); playbin takes a
  // reference of its own.
  void SetVideoSink(const VideoTarget& target) {
    ReleaseGstreamerVideoSink(videoSink_);
    videoSink_ = MakeGstreamerVideoSink(target);
    if (videoSink_.element) g_object_set(pipeline_, "video-sink", videoSink_.element, nullptr);
  }

  // libav's video decoders start a decoding thread per core by default, and
  // each thread keeps a decoder context and pictures of its own in flight
  // (3 MB for a 640 × 480 MPEG-4 video). Up to kOneThreadPicture one thread
  // decodes several times faster than real time, so such pictures get one;
  // larger ones keep libav's choice. The decoder opens libav on its caps, so
  // the size is looked at just before it sees them.
  static void OnElementSetup(GstElement*, GstElement* element, gpointer) {
    GstElementFactory* factory = gst_element_get_factory(element);
    const char* name = factory ? gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory)) : nullptr;
    if (!name || !g_str_has_prefix(name, "avdec_") ||
        !g_object_class_find_property(G_OBJECT_GET_CLASS(element), "max-threads")) {
      return;
    }
    if (GstPad* pad = gst_element_get_static_pad(element, "sink")) {
      gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, &OnDecoderEvent, element, nullptr);
      gst_object_unref(pad);
    }
  }

  // Streaming thread; `data` is the decoder, which owns the pad.
  static GstPadProbeReturn OnDecoderEvent(GstPad*, GstPadProbeInfo* info, gpointer data) {
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    if (!event || GST_EVENT_TYPE(event) != GST_EVENT_CAPS) return GST_PAD_PROBE_OK;
    GstCaps* caps = nullptr;
    gst_event_parse_caps(event, &caps);
    int width = 0;
    int height = 0;
    const GstStructure* structure = caps && gst_caps_get_size(caps) > 0 ? gst_caps_get_structure(caps, 0) : nullptr;
    if (structure && gst_structure_get_int(structure, "width", &width) &&
        gst_structure_get_int(structure, "height", &height) && width > 0 && height > 0) {
      const bool small = static_cast<int64_t>(width) * height <= kOneThreadPicture;
      g_object_set(data, "max-threads", small ? 1 : 0, nullptr);
    }
    return GST_PAD_PROBE_OK;
  }

  static void OnSourceSetup(GstElement*, GstElement* source, gpointer data) {
    static_cast<GstreamerDevice*>(data)->setupSource_(source);
  }

  // `nanoseconds` from the start of the media (the stream's own times may
  // start later, by startOffset_).
  bool SeekTo(gint64 nanoseconds) {
    const bool sought = gst_element_seek(pipeline_, rate_, GST_FORMAT_TIME,
                                         static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                                         GST_SEEK_TYPE_SET, nanoseconds + startOffset_, GST_SEEK_TYPE_NONE,
                                         GST_CLOCK_TIME_NONE);
    WaitForStateChange();
    audio_.Reset();  // what was queued belongs to the old place
    DrainBus();
    ended_ = false;
    lastPosition_ = ToMilliseconds(nanoseconds);
    return sought;
  }

  void QueryLength() {
    gint64 duration = 0;
    if (gst_element_query_duration(pipeline_, GST_FORMAT_TIME, &duration)) length_ = ToMilliseconds(duration);
  }

  // Brings the pipeline to PAUSED with its first buffer at the sinks. A
  // parser can lose the race with the decoder's pad being linked and stop
  // with a flow error ("not-linked") while the pipeline waits on; such a
  // preroll is tried again, a few times, from the start.
  MCIERROR Preroll() {
    MCIERROR error = MCIERR_DRIVER;
    for (int attempt = 0; attempt < kPrerollAttempts; ++attempt) {
      if (attempt > 0) TakeDown(GST_STATE_NULL);
      const GstStateChangeReturn change = gst_element_set_state(pipeline_, GST_STATE_PAUSED);
      if (change == GST_STATE_CHANGE_SUCCESS || change == GST_STATE_CHANGE_NO_PREROLL) return MCIERR_NO_ERROR;
      if (change == GST_STATE_CHANGE_ASYNC) {
        const PrerollWait wait = WaitForPreroll();
        if (wait == PrerollWait::Hung) return MCIERR_DRIVER;
        if (wait == PrerollWait::Done) return MCIERR_NO_ERROR;
      }
      bool flowError = false;
      error = BusError(kErrorWait, 0, &flowError);
      if (!flowError) return error;
    }
    return error;
  }

  std::function<void(GstElement*)> setupSource_;
  gint64 startOffset_ = 0;  // ns: the stream time of the media's start
  double rate_ = 1.0;
};

}  // namespace

bool GstreamerAvailable() { return InitGstreamer(); }

MCIERROR MciErrorFromGstError(const GError* error) {
  if (!error) return MCIERR_DRIVER;
  if (error->domain == GST_RESOURCE_ERROR) {
    switch (error->code) {
      case GST_RESOURCE_ERROR_NOT_FOUND:
        return MCIERR_FILE_NOT_FOUND;
      case GST_RESOURCE_ERROR_OPEN_READ:
      case GST_RESOURCE_ERROR_READ:
      case GST_RESOURCE_ERROR_SEEK:
      case GST_RESOURCE_ERROR_NOT_AUTHORIZED:
        return MCIERR_FILE_READ;
      case GST_RESOURCE_ERROR_BUSY:
        return MCIERR_MUST_USE_SHAREABLE;
      case GST_RESOURCE_ERROR_OPEN_WRITE:
      case GST_RESOURCE_ERROR_OPEN_READ_WRITE:
      case GST_RESOURCE_ERROR_WRITE:
      case GST_RESOURCE_ERROR_SETTINGS:
        return MCIERR_DEVICE_NOT_READY;
      default:
        return MCIERR_DRIVER;
    }
  }
  if (error->domain == GST_STREAM_ERROR) {
    switch (error->code) {
      case GST_STREAM_ERROR_TYPE_NOT_FOUND:
      case GST_STREAM_ERROR_WRONG_TYPE:
      case GST_STREAM_ERROR_CODEC_NOT_FOUND:
      case GST_STREAM_ERROR_DECODE:
      case GST_STREAM_ERROR_DEMUX:
      case GST_STREAM_ERROR_FORMAT:
      case GST_STREAM_ERROR_NOT_IMPLEMENTED:
      case GST_STREAM_ERROR_DECRYPT:
      case GST_STREAM_ERROR_DECRYPT_NOKEY:
        return MCIERR_INVALID_FILE;
      default:
        return MCIERR_DRIVER;
    }
  }
  if (error->domain == GST_CORE_ERROR && error->code == GST_CORE_ERROR_MISSING_PLUGIN) return MCIERR_INVALID_FILE;
  if (error->domain == GST_LIBRARY_ERROR && error->code == GST_LIBRARY_ERROR_INIT) return MCIERR_CANNOT_LOAD_DRIVER;
  return MCIERR_DRIVER;
}

std::unique_ptr<MciDevice> OpenGstreamerSource(const GstreamerSource& source, MCIERROR& error) {
  auto device = std::make_unique<GstreamerDevice>();
  error = device->Open(source);
  if (error != MCIERR_NO_ERROR) return nullptr;
  return device;
}

std::unique_ptr<MciDevice> OpenGstreamerDevice(const std::string& path, MCIERROR& error) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) {
    error = MCIERR_FILE_NOT_FOUND;
    return nullptr;
  }
  if (!std::filesystem::is_regular_file(path, ec)) {  // a folder, FIFO or device is no media file
    error = MCIERR_INVALID_FILE;
    return nullptr;
  }
  if (!InitGstreamer()) {
    error = MCIERR_CANNOT_LOAD_DRIVER;
    return nullptr;
  }
  // A playlist or manifest is no media file: what it names is never read.
  if (!ReferencingContent(path).empty()) {
    error = MCIERR_INVALID_FILE;
    return nullptr;
  }
  // libav's AIFF demuxer in GStreamer has no caps for PCM wider than 16 bits
  // or for floats: it exposes no stream, and the preroll fails, or now and
  // then waits until it times out (20 s). libavformat plays these itself.
  if (IsWideAiffSound(path)) return OpenLibavDevice(path, error);
  GError* uriError = nullptr;
  gchar* uri = gst_filename_to_uri(path.c_str(), &uriError);
  if (!uri) {
    g_clear_error(&uriError);
    error = MCIERR_FILE_NOT_FOUND;
    return nullptr;
  }
  GstreamerSource source{uri, path, {}};
  g_free(uri);
  std::unique_ptr<MciDevice> device = OpenGstreamerSource(source, error);
  if (device) {
    // Sound alone from a file with pictures: GStreamer lacks their decoder.
    MCI_RECT picture{};
    device->Source(picture);
    if (picture.right > 0 && picture.bottom > 0) return device;
    const std::unique_ptr<LibavMedia> media = LibavMedia::Open(path);
    if (!media || !media->HasPicture()) return device;
    device.reset();
  } else if (error != MCIERR_INVALID_FILE && error != MCIERR_DRIVER) {
    return nullptr;  // the file or the sound output fails, not the demultiplexing
  }
  MCIERROR libavError = MCIERR_NO_ERROR;
  if (std::unique_ptr<MciDevice> libav = OpenLibavDevice(path, libavError)) {
    error = MCIERR_NO_ERROR;
    return libav;
  }
  // Reopened: the sound GStreamer plays is better than nothing.
  if (error == MCIERR_NO_ERROR) return OpenGstreamerSource(source, error);
  // A preroll that failed without a cause (or never ended) says less than
  // libavformat's refusal: a file with nothing to decode is an invalid file.
  if (error == MCIERR_DRIVER && libavError != MCIERR_NO_ERROR) error = libavError;
  return nullptr;
}

}  // namespace qorve
