// MP3 through the VBMP3.so module of the program folder, on a virtual sound
// card: the record's fields for files made by lame, the sound equal to
// mpg123's decoding, the error mapping, the wall-clock timing, and the MCI
// fall-back of the factory when the module is missing.
#include "player/formats/audio/mp3.h"

#include "platform/system/clock.h"
#include "platform/system/folders.h"
#include "player/core/media_factory.h"
#include "player/core/player_state.h"
#include "player/formats/media_maker.h"
#include "support/scoped_env.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>

namespace qorve::test {
namespace {

class Mp3Test : public TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    if (!HaveTools({"sox", "lame", "mpg123"})) GTEST_SKIP() << "sox, lame or mpg123 missing";
    SetWaveOutFactory([this] { return card.NewDevice(); });
  }
  void TearDown() override {
    media.reset();
    Player().media.reset();
    SetWaveOutFactory(nullptr);
    SetProgramFolderForTesting({});
    TempHome::TearDown();
  }
  // `seconds` of a chord at `rate` with `channels`, encoded with lame `options`.
  std::string MakeMp3(const std::string& name, int rate, int channels, double seconds, const std::string& options) {
    const std::string wav = (root() / (name + ".wav")).string();
    const std::string mp3 = (root() / (name + ".mp3")).string();
    EXPECT_TRUE(RunCommand("sox -n -r " + std::to_string(rate) + " -c " + std::to_string(channels) + " -b 16 '" + wav +
                           "' synth " + std::to_string(seconds) + " pluck 220 sine 330 vol 0.5"));
    EXPECT_TRUE(RunCommand("lame --quiet " + options + " '" + wav + "' '" + mp3 + "'"));
    return mp3;
  }
  std::string Reference(const std::string& mp3) {
    const std::string wav = mp3 + ".ref.wav";
    EXPECT_TRUE(RunCommand("mpg123 -q -w '" + wav + "' '" + mp3 + "'"));
    return WavData(wav);
  }
  int OpenMedia(const std::string& path) {
    media = std::make_unique<MP3>();
    return media->Open(path, "MP3", nullptr);
  }
  MediaInfo Info() const { return test::InfoOf(*media); }
  MediaState Status() { return test::StatusOf(*media); }
  // Waits until the module has queued at least `bytes` (or stops feeding).
  void AwaitQueued(uint64_t bytes) {
    const uint32_t start = TimeGetTime();
    while (card.QueuedBytes() < bytes && TimeGetTime() - start < 5000) SleepMs(1);
  }
  // Everything the module plays, until it has nothing more for half a second.
  std::vector<uint8_t> PlayToTheEnd() {
    std::vector<uint8_t> played;
    card.TakePlayed();
    uint32_t idleSince = TimeGetTime();
    while (TimeGetTime() - idleSince < 500) {
      if (card.Advance(card.QueuedBytes()) > 0) idleSince = TimeGetTime();
      const std::vector<uint8_t> chunk = card.TakePlayed();
      played.insert(played.end(), chunk.begin(), chunk.end());
      SleepMs(1);
    }
    return played;
  }

  VirtualSoundCard card;
  std::unique_ptr<MP3> media;
};

struct Encoding {
  const char* name;
  int rate;
  int channels;
  const char* options;
  const char* title;
  const char* artist;
};

class Mp3EncodingTest : public Mp3Test, public ::testing::WithParamInterface<Encoding> {};

TEST_P(Mp3EncodingTest, ReportsTheRecordAndPlaysWhatMpg123Decodes) {
  const Encoding& e = GetParam();
  const std::string path = MakeMp3(e.name, e.rate, e.channels, 2.5, e.options);
  const std::string reference = Reference(path);
  ASSERT_EQ(OpenMedia(path), kResultSuccess);
  const MediaInfo info = Info();
  EXPECT_EQ(info.Kind, kKindSound);
  EXPECT_STREQ(info.Format, "MP3");
  EXPECT_EQ(info.SampleRate, e.rate);
  EXPECT_EQ(info.Channels, e.channels);
  EXPECT_DOUBLE_EQ(info.Length, 3.0);  // 2.5 s, in whole seconds rounded up
  EXPECT_STREQ(info.Title, e.title);
  EXPECT_STREQ(info.Artist, e.artist);

  media->Play(-1.0);
  const std::vector<uint8_t> played = PlayToTheEnd();
  ASSERT_EQ(played.size(), reference.size());
  EXPECT_EQ(std::memcmp(played.data(), reference.data(), played.size()), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Files, Mp3EncodingTest,
    ::testing::Values(Encoding{"Mono32kCbrId3v1", 32000, 1, "-m m -b 64 --id3v1-only --tt Morning --ta Band", "Morning", "Band"},
                      Encoding{"Stereo44kVbrId3v2", 44100, 2, "-V 4 --id3v2-only --tt 夜明け --ta 歌手", "夜明け", "歌手"},
                      Encoding{"Stereo48kCbrNoTag", 48000, 2, "-b 192", "", ""},
                      Encoding{"Mono44kVbr", 44100, 1, "-m m -V 6", "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

// The device counts the bytes it has played in 32 bits, which wrap after
// 6 h 46 min of 44.1 kHz stereo. Here the card's counter starts two seconds
// short of the wrap: the module must go on feeding the device about as far
// ahead as before, and count its seconds on, across it.
TEST_F(Mp3Test, KeepsFeedingAndCountingAcrossTheWrapOfTheDevicesByteCounter) {
  constexpr uint32_t kSecond = 44100 * 4;
  card.StartPositionsAt(static_cast<uint32_t>((uint64_t{1} << 32) - 2 * kSecond));
  const std::string path = MakeMp3("wrap", 44100, 2, 6, "-b 128");
  const std::string reference = Reference(path);
  ASSERT_EQ(OpenMedia(path), kResultSuccess);
  media->Play(0.0);

  std::vector<uint8_t> played;
  for (int quarter = 1; quarter <= 16; ++quarter) {
    AwaitQueued(kSecond / 4);
    ASSERT_GE(card.QueuedBytes(), kSecond / 4) << "the module stopped feeding before " << quarter << " quarters";
    ASSERT_LE(card.QueuedBytes(), 2 * kSecond) << "the module decoded the file far ahead of the device";
    ASSERT_EQ(card.Advance(kSecond / 4), kSecond / 4);
    const std::vector<uint8_t> chunk = card.TakePlayed();
    played.insert(played.end(), chunk.begin(), chunk.end());
    // Paused, the position is the module's whole second.
    media->Pause();
    EXPECT_DOUBLE_EQ(Status().TimePos, quarter / 4 - 0.5) << "after " << quarter << " quarters";
    media->Play(-1.0);
  }
  EXPECT_EQ(card.Position(), 2 * kSecond) << "the counter has wrapped";
  const std::vector<uint8_t> rest = PlayToTheEnd();
  played.insert(played.end(), rest.begin(), rest.end());
  ASSERT_EQ(played.size(), reference.size());
  EXPECT_EQ(std::memcmp(played.data(), reference.data(), played.size()), 0);
}

TEST_F(Mp3Test, PositionFollowsTheClockWhilePlayingAndTheModulesSecondOtherwise) {
  ASSERT_EQ(OpenMedia(MakeMp3("long", 44100, 2, 40, "-b 64")), kResultSuccess);
  EXPECT_DOUBLE_EQ(Info().Length, 40);

  media->Play(30.9);  // the module is sent to second 30
  EXPECT_NEAR(Status().TimePos, 29.5, 0.05);
  EXPECT_EQ(Status().PlayState, kPlaying);

  media->Play(12.0);
  AwaitQueued(44100 * 4 * 3 / 10);
  card.Advance(44100 * 4 * 3 / 10);  // 12.3 s heard
  media->Pause();
  EXPECT_DOUBLE_EQ(Status().TimePos, 11.5);
  EXPECT_EQ(Status().PlayState, kPaused);
  media->Play(-1.0);  // resumes at the module's whole second
  EXPECT_NEAR(Status().TimePos, 11.5, 0.05);

  media->Stop();
  EXPECT_DOUBLE_EQ(Status().TimePos, -0.5);
  EXPECT_EQ(Status().PlayState, kPaused);
  media->TogglePause();
  EXPECT_EQ(Status().PlayState, kPlaying);
  EXPECT_NEAR(Status().TimePos, -0.5, 0.05);

  media->Close();
  media->Close();  // the module is released once
  media.reset();
}

TEST_F(Mp3Test, RewindHoldsPositionsTheModuleCannotTake) {
  ASSERT_EQ(OpenMedia(MakeMp3("short", 44100, 2, 2.5, "-b 64")), kResultSuccess);
  const double end = Info().Length - 0.5;
  media->Rewind(1e12);  // far past the end: the module stops at its last second
  EXPECT_DOUBLE_EQ(Status().TimePos, end);
  media->Rewind(std::nan(""));  // no position at all: it stays
  EXPECT_DOUBLE_EQ(Status().TimePos, end);
  media->Rewind(0.0);
  EXPECT_DOUBLE_EQ(Status().TimePos, -0.5);
}

struct OpenFailure {
  const char* name;
  std::string content;  // "-": no file
  MMRESULT deviceFailure;
  int result;
};

class Mp3OpenFailureTest : public Mp3Test, public ::testing::WithParamInterface<OpenFailure> {};

TEST_P(Mp3OpenFailureTest, MapsTheModulesErrorNumber) {
  const OpenFailure& failure = GetParam();
  std::string path = (root() / "x.mp3").string();
  if (failure.content != "-") WriteFile(path, failure.content);
  if (failure.deviceFailure != MMSYSERR_NOERROR) {
    path = MakeMp3("good", 44100, 2, 1, "-b 128");
    card.FailOpens(failure.deviceFailure);
  }
  EXPECT_EQ(OpenMedia(path), failure.result);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Mp3OpenFailureTest,
    ::testing::Values(OpenFailure{"MissingFile", "-", MMSYSERR_NOERROR, kResultFileInUse},
                      OpenFailure{"EmptyFile", "", MMSYSERR_NOERROR, kResultFileInUse},
                      OpenFailure{"NotMpeg", std::string(4096, 'x'), MMSYSERR_NOERROR, kResultUnsupported},
                      OpenFailure{"DeviceBusy", "-", MMSYSERR_ALLOCATED, kResultDeviceInUse},
                      OpenFailure{"DeviceRefusesFormat", "-", WAVERR_BADFORMAT, kResultCodecNotFound}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Mp3ErrorMapping, GroupsTheModulesNumbersIntoResults) {
  const std::pair<int, int> cases[] = {{1, 2}, {4, 2},  {10, 4}, {11, 4}, {20, 4}, {24, 4}, {19, 8},
                                       {25, 6}, {30, 7}, {31, 7}, {5, 1},  {26, 1}, {0, 1}};
  for (const auto& [error, result] : cases) EXPECT_EQ(MP3::ResultOfModuleError(error), result) << error;
}

TEST_F(Mp3Test, WithoutTheModuleOpenSays10AndTheFactoryFallsBackToMci) {
  const std::string path = MakeMp3("fallback", 44100, 2, 1, "-b 128");
  SetProgramFolderForTesting(root());  // a program folder without VBMP3.so
  ASSERT_EQ(OpenMedia(path), kResultLibraryNotFound);
  EXPECT_EQ(Info().Kind, kKindUnplayable);
  media.reset();

  // MCI plays through the capture device.
  ScopedEnv env;
  env.Set("QORVE_AUDIO", ("wav-fast:" + (root() / "capture.wav").string()).c_str());
  SetWaveOutFactory(nullptr);
  std::string loaded = path;
  const int result = LoadMedia(nullptr, loaded, 0);
  ASSERT_TRUE(Player().media);
  MediaInfo info;
  Player().media->GetInfo(info);
  ASSERT_EQ(result, kResultSuccess);
  EXPECT_EQ(info.Kind, kKindSound);
  EXPECT_STREQ(info.FileName, "fallback.mp3");
  EXPECT_EQ(dynamic_cast<MP3*>(Player().media.get()), nullptr);
}

}  // namespace
}  // namespace qorve::test
