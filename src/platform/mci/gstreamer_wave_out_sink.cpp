// The wave-out sink: GStreamer's ring-buffer thread hands it segments, which
// go into the device's queue as long as less than kAhead waits there unheard;
// beyond that the thread waits for the device to play. The clock GStreamer
// derives from the sink is what it wrote minus delay(), the bytes the device
// has not played yet: a device whose position stands still stops the clock.
#include "platform/mci/gstreamer_wave_out_sink.h"

#include <gst/audio/gstaudiosink.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace qorve {
namespace {

constexpr uint32_t kRate = 44100;
constexpr uint16_t kChannels = 2;
constexpr uint16_t kBits = 16;
constexpr uint32_t kFrameBytes = kChannels * kBits / 8;
// How much may wait in the device unheard: enough to ride out a late
// segment, little enough that pausing and seeking answer at once.
constexpr uint32_t kAhead = kRate * kFrameBytes / 10;  // 100 ms
// How often a waiting write looks at the device's position again.
constexpr auto kPoll = std::chrono::milliseconds(5);

struct SinkState {
  std::unique_ptr<WaveOutDevice> device;
  std::mutex mutex;  // guards everything below and the calls on the device that change it
  std::condition_variable wake;
  uint64_t stops = 0;     // moves at every stop: a write waiting since drops its segment
  bool paused = false;
  uint32_t written = 0;   // bytes written since the last stop, modulo 2^32 as the device counts

  // Bytes written and not yet heard.
  uint32_t Unheard() {
    uint32_t position = 0;
    if (device->GetPosition(position) != MMSYSERR_NOERROR) return 0;
    const uint32_t unheard = written - position;
    return unheard > written ? written : unheard;  // never more than was written
  }
};

}  // namespace

struct QorveWaveOutSink {
  GstAudioSink parent;
  SinkState* state;
};

struct QorveWaveOutSinkClass {
  GstAudioSinkClass parent_class;
};

G_DEFINE_TYPE(QorveWaveOutSink, qorve_wave_out_sink, GST_TYPE_AUDIO_SINK)

namespace {

SinkState& State(GstAudioSink* sink) { return *reinterpret_cast<QorveWaveOutSink*>(sink)->state; }

gboolean Open(GstAudioSink*) { return TRUE; }
gboolean Close(GstAudioSink*) { return TRUE; }

gboolean Prepare(GstAudioSink* sink, GstAudioRingBufferSpec* spec) {
  // The pad's caps allow nothing else; a spec that says otherwise is refused.
  const GstAudioInfo& info = spec->info;
  return GST_AUDIO_INFO_RATE(&info) == static_cast<int>(kRate) &&
                 GST_AUDIO_INFO_CHANNELS(&info) == kChannels && GST_AUDIO_INFO_WIDTH(&info) == kBits &&
                 State(sink).device != nullptr
             ? TRUE
             : FALSE;
}

void Stop(GstAudioSink* sink) {
  SinkState& s = State(sink);
  {
    std::lock_guard lock(s.mutex);
    ++s.stops;
    s.device->Reset();
    s.written = 0;
  }
  s.wake.notify_all();
}

gboolean Unprepare(GstAudioSink* sink) {
  Stop(sink);
  return TRUE;
}

gint Write(GstAudioSink* sink, gpointer data, guint length) {
  SinkState& s = State(sink);
  std::unique_lock lock(s.mutex);
  const uint64_t stops = s.stops;
  while (s.stops == stops && !s.paused && s.Unheard() >= kAhead) s.wake.wait_for(lock, kPoll);
  // A stop drops the segment; a pause keeps it queued on the paused device,
  // to be heard on resuming.
  if (s.stops == stops) {
    s.device->Write(static_cast<const uint8_t*>(data), length);
    s.written += length;
  }
  return static_cast<gint>(length);
}

guint Delay(GstAudioSink* sink) {
  SinkState& s = State(sink);
  std::lock_guard lock(s.mutex);
  return s.Unheard() / kFrameBytes;
}

void Pause(GstAudioSink* sink) {
  SinkState& s = State(sink);
  {
    std::lock_guard lock(s.mutex);
    s.paused = true;
    s.device->Pause();
  }
  s.wake.notify_all();
}

void Resume(GstAudioSink* sink) {
  SinkState& s = State(sink);
  std::lock_guard lock(s.mutex);
  s.paused = false;
  s.device->Restart();
}

void Finalize(GObject* object) {
  SinkState* state = reinterpret_cast<QorveWaveOutSink*>(object)->state;
  if (state->device) state->device->Close();
  delete state;
  G_OBJECT_CLASS(qorve_wave_out_sink_parent_class)->finalize(object);
}

}  // namespace

static void qorve_wave_out_sink_class_init(QorveWaveOutSinkClass* klass) {
  G_OBJECT_CLASS(klass)->finalize = Finalize;
  GstElementClass* element = GST_ELEMENT_CLASS(klass);
  gst_element_class_set_static_metadata(element, "Wave-out sink", "Sink/Audio",
                                        "Plays through the player's wave-out device", "QORVE");
  static GstStaticPadTemplate pad = GST_STATIC_PAD_TEMPLATE(
      "sink", GST_PAD_SINK, GST_PAD_ALWAYS,
      GST_STATIC_CAPS("audio/x-raw, format=(string)S16LE, rate=(int)44100, channels=(int)2, "
                      "layout=(string)interleaved"));
  gst_element_class_add_static_pad_template(element, &pad);
  GstAudioSinkClass* audio = GST_AUDIO_SINK_CLASS(klass);
  audio->open = Open;
  audio->prepare = Prepare;
  audio->unprepare = Unprepare;
  audio->close = Close;
  audio->write = Write;
  audio->delay = Delay;
  audio->pause = Pause;
  audio->resume = Resume;
  audio->stop = Stop;
  audio->reset = Stop;
}

static void qorve_wave_out_sink_init(QorveWaveOutSink* sink) { sink->state = new SinkState; }

WAVEFORMATEX WaveOutSinkFormat() {
  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = kChannels;
  format.nSamplesPerSec = kRate;
  format.wBitsPerSample = kBits;
  format.nBlockAlign = kFrameBytes;
  format.nAvgBytesPerSec = kRate * kFrameBytes;
  return format;
}

GstElement* MakeWaveOutSink(std::unique_ptr<WaveOutDevice> device) {
  auto* sink = static_cast<QorveWaveOutSink*>(g_object_new(qorve_wave_out_sink_get_type(), nullptr));
  sink->state->device = std::move(device);
  return GST_ELEMENT(sink);
}

}  // namespace qorve
