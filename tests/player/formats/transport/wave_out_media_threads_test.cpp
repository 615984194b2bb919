// WaveOutMedia, the transport of every class that decodes into the wave-out
// ring, with a class that only records where it is told to seek, on the
// virtual sound card.
#include "player/formats/transport/wave_out_media.h"

#include "player/audio/wave_out_stream_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace qorve {
namespace {

class SeekRecorder final : public WaveOutMedia {
 public:
  ~SeekRecorder() override { CloseStream(); }

  int Open(const std::string&, const std::string&, WindowHandle) override {
    return OpenStream(test::Pcm(8000, 1, 16), 1600);
  }

  std::vector<double> seeks;  // the test's thread only, as Play's caller

 private:
  void SeekSource(double from) override { seeks.push_back(from); }
  void Fill(uint8_t* buffer, uint32_t bytes) override { std::memset(buffer, 0, bytes); }
};

class WaveOutMediaTest : public test::WaveOutStreamTest {};

TEST_F(WaveOutMediaTest, EveryStartIsFromZeroUnlessATimeIsAsked) {
  SeekRecorder sound;
  ASSERT_EQ(sound.Open("", "", nullptr), kResultSuccess);
  sound.Play(-1.0);
  sound.Play(std::nan(""));
  sound.Play(-7.0);
  sound.Play(2.5);
  EXPECT_EQ(sound.seeks, (std::vector<double>{0.0, 0.0, 0.0, 2.5}));
  MediaState state{};
  sound.GetStatus(state);
  EXPECT_EQ(state.PlayState, kPlaying);
  EXPECT_GE(state.TimePos, 2.5);
  EXPECT_LT(state.TimePos, 3.5);
}

TEST_F(WaveOutMediaTest, ThePauseKeyPausesWhilePlayingAndOtherwiseStartsAgainFromZero) {
  SeekRecorder sound;
  ASSERT_EQ(sound.Open("", "", nullptr), kResultSuccess);
  sound.Play(1.0);
  MediaState state{};
  sound.TogglePause();
  sound.GetStatus(state);
  EXPECT_EQ(state.PlayState, kPaused);
  EXPECT_EQ(sound.seeks, (std::vector<double>{1.0}));

  sound.TogglePause();
  sound.GetStatus(state);
  EXPECT_EQ(state.PlayState, kPlaying);
  EXPECT_EQ(sound.seeks, (std::vector<double>{1.0, 0.0}));

  sound.Stop();
  sound.GetStatus(state);
  EXPECT_EQ(state.PlayState, kStopped);
  sound.TogglePause();  // stopped: starts again from 0 too
  EXPECT_EQ(sound.seeks, (std::vector<double>{1.0, 0.0, 0.0}));
}

TEST_F(WaveOutMediaTest, WithoutAStreamEverySlotDoesNothing) {
  SeekRecorder sound;
  EXPECT_EQ(sound.Play(1.0), 0);
  EXPECT_EQ(sound.TogglePause(), 0);
  EXPECT_EQ(sound.Pause(), 0);
  EXPECT_EQ(sound.Stop(), 0);
  EXPECT_TRUE(sound.seeks.empty());
  MediaState state{-3.0, 7};
  sound.GetStatus(state);
  EXPECT_EQ(state.TimePos, -3.0);
  EXPECT_EQ(state.PlayState, 7);

  card->FailOpens(MMSYSERR_ALLOCATED);
  EXPECT_EQ(sound.Open("", "", nullptr), kResultDeviceInUse);
}

}  // namespace
}  // namespace qorve
