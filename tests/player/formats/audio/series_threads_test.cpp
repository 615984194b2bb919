// The controller with the real sound classes on a virtual sound card: a folder
// of two Ogg Vorbis pieces and a FLAC piece in series plays all three in
// order; switched to mode once (the once button) during the last, with
// SOUNDSET END 1, the program ends when that piece ends.
#include "common/settings.h"
#include "platform/input/input.h"
#include "player/core/display_port.h"
#include "player/core/main_loop.h"
#include "player/core/media_factory.h"
#include "player/core/player_state.h"
#include "player/formats/media_maker.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace qorve::test {
namespace {

// A display whose HitTest answers what the test sets; everything else is ignored.
class StillDisplay final : public DisplayPort {
 public:
  int HitTest() override { return hit; }
  double TimeAtCursor(double) override { return -1.0; }
  void Layout() override {}
  void MarkAllDirty() override {}
  void MarkTextDirty(int) override {}
  void MarkButtonsDirty(int) override {}
  void SetPressed(int) override {}
  void Invalidate() override {}
  void SetTrackbarTime(double) override {}
  void HideToTray() override {}
  int hit = kHitWindow;
};

uint32_t FixedNow() { return 1000; }

// Upward zero crossings of the left channel per second: the pitch of a sine.
double Pitch(const std::vector<uint8_t>& pcm, std::size_t firstFrame, std::size_t frames) {
  int crossings = 0;
  int16_t previous = 0;
  for (std::size_t i = firstFrame; i < firstFrame + frames; ++i) {
    int16_t value;
    std::memcpy(&value, pcm.data() + 4 * i, 2);
    if (previous < 0 && value >= 0) ++crossings;
    previous = value;
  }
  return crossings * 44100.0 / static_cast<double>(frames);
}

class SeriesTest : public TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    if (!HaveTools({"sox", "oggenc", "flac"})) GTEST_SKIP() << "sox, oggenc or flac missing";
    SetWaveOutFactory([this] { return card.NewDevice(); });
    saved = ProgramSettings();
  }
  void TearDown() override {
    Player().media.reset();
    Player().fileList = FileList{};
    ProgramSettings() = saved;
    SetWaveOutFactory(nullptr);
    TempHome::TearDown();
  }

  VirtualSoundCard card;
  Settings saved;
};

TEST_F(SeriesTest, SeriesPlaysAllThreeInOrderAndOnceWithEndEndsAfterTheLast) {
  const auto music = root() / "music";
  std::filesystem::create_directories(music);
  const std::string m = music.string();
  ASSERT_TRUE(RunCommand("sox -n -r 44100 -c 2 -b 16 '" + m + "/a.wav' synth 1.0 sine 441 vol 0.5 && oggenc -Q '" + m +
                         "/a.wav' -o '" + m + "/a.ogg' && rm '" + m + "/a.wav'"));
  ASSERT_TRUE(RunCommand("sox -n -r 44100 -c 2 -b 16 '" + m + "/b.wav' synth 1.0 sine 661.5 vol 0.5 && flac -s '" + m +
                         "/b.wav' -o '" + m + "/b.flac' && rm '" + m + "/b.wav'"));
  ASSERT_TRUE(RunCommand("sox -n -r 44100 -c 2 -b 16 '" + m + "/c.wav' synth 1.0 sine 882 vol 0.5 && oggenc -Q '" + m +
                         "/c.wav' -o '" + m + "/c.ogg' && rm '" + m + "/c.wav'"));

  ProgramSettings().soundsetLoop = 2;  // series
  ProgramSettings().soundsetEnd = 1;
  Player().fileList.firstArgument = m;
  std::string path = m;
  ASSERT_EQ(LoadMedia(nullptr, path, 0), kResultSuccess);
  StillDisplay display;
  ScriptedInput input;
  MainLoop loop(display, input, ControllerClock{&FixedNow, nullptr});
  Player().media->Play(-1.0);

  std::vector<std::string> played;
  std::vector<uint8_t> sound;
  constexpr uint64_t kStepBytes = 441 * 4;  // 10 ms of sound per controller step
  int result = 0;
  for (int step = 0; step < 2000 && result == 0; ++step) {
    MediaInfo info;
    Player().media->GetInfo(info);
    if (played.empty() || played.back() != info.FileName) played.push_back(info.FileName);
    if (played.back() == "c.ogg" && display.hit == kHitWindow) {
      display.hit = kHitButtonBase + 2;  // the once button, clicked
      input.Tap(kVkLButton);
    } else if (display.hit != kHitWindow) {
      display.hit = kHitWindow;
    }
    card.Advance(kStepBytes);
    const std::vector<uint8_t> now = card.TakePlayed();
    sound.insert(sound.end(), now.begin(), now.end());
    result = loop.Step(nullptr);
  }
  EXPECT_EQ(result, -1) << "the program did not end after the last piece";
  EXPECT_EQ(played, (std::vector<std::string>{"a.ogg", "b.flac", "c.ogg"}));
  EXPECT_EQ(ProgramSettings().soundsetLoop, 0);

  // Each piece sounds to its end: three segments of 1 s, each of its own
  // pitch to its last 10 ms (the controller steps every 10 ms of sound here).
  ASSERT_NEAR(static_cast<double>(sound.size()) / 4, 3 * 44100, 3 * 441);
  const double pitches[] = {441, 661.5, 882};
  for (int segment = 0; segment < 3; ++segment) {
    EXPECT_NEAR(Pitch(sound, static_cast<std::size_t>(segment * 44100 + 2205), 30000), pitches[segment], 5)
        << "segment " << segment;
    const auto lastTenth = static_cast<std::size_t>(segment * 44100 + 44100 - 441 - 4410);
    EXPECT_NEAR(Pitch(sound, lastTenth, 4410), pitches[segment], 15) << "the last 0.1 s of segment " << segment;
  }
}

}  // namespace
}  // namespace qorve::test
