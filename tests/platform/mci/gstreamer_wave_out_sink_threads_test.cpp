#include "platform/mci/gstreamer_wave_out_sink.h"
#include "platform/audio/wave_out_virtual.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace qorve {
namespace {

constexpr uint64_t kBytesPerSecond = 44100 * 4;

// Polls `done` until it holds or 20 s have passed.
template <typename Condition>
bool WaitFor(Condition done) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

double PipelineSeconds(GstElement* pipeline) {
  gint64 position = 0;
  if (!gst_element_query_position(pipeline, GST_FORMAT_TIME, &position)) return -1;
  return static_cast<double>(position) / GST_SECOND;
}

// The pipeline's time is what the device has played: it stands still while
// the card does, as it does while a lost device holds its position, and
// moves by exactly what the card plays.
TEST(WaveOutSinkTest, PipelineTimeIsWhatTheDeviceHasPlayed) {
  gst_init(nullptr, nullptr);
  VirtualSoundCard card(false);
  std::unique_ptr<WaveOutDevice> device = card.NewDevice();
  ASSERT_EQ(device->Open(WaveOutSinkFormat()), MMSYSERR_NOERROR);
  GstElement* pipeline = gst_pipeline_new(nullptr);
  GstElement* source = gst_element_factory_make("audiotestsrc", nullptr);
  ASSERT_NE(source, nullptr);
  GstElement* sink = MakeWaveOutSink(std::move(device));
  gst_bin_add_many(GST_BIN(pipeline), source, sink, nullptr);
  ASSERT_TRUE(gst_element_link(source, sink));
  ASSERT_NE(gst_element_set_state(pipeline, GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);

  // Nothing played: the sink fills the device and then waits on it.
  ASSERT_TRUE(WaitFor([&] { return card.QueuedBytes() >= kBytesPerSecond / 10; }));
  EXPECT_LT(PipelineSeconds(pipeline), 0.03);

  // Two seconds played, a little at a time, as the sink keeps the queue full.
  uint64_t played = 0;
  while (played < 2 * kBytesPerSecond) {
    ASSERT_TRUE(WaitFor([&] { return card.QueuedBytes() > 0; }));
    played += card.Advance(std::min<uint64_t>(card.QueuedBytes(), 2 * kBytesPerSecond - played));
  }
  ASSERT_TRUE(WaitFor([&] { return card.QueuedBytes() >= kBytesPerSecond / 10; }));
  EXPECT_NEAR(PipelineSeconds(pipeline), 2.0, 0.03);

  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(pipeline);
  EXPECT_FALSE(card.IsOpen());  // the sink closed its device
}

}  // namespace
}  // namespace qorve
