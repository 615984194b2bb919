// SNESAPU with the emulator module of the program folder: the tag and length
// of real and built images, the PCM equal to libgme's rendering through ffmpeg,
// the output rate (a typed one out of range too), pseudo surround, play mode 1,
// and a missing module.
#include "player/formats/audio/snesapu.h"

#include "common/settings.h"
#include "platform/system/clock.h"
#include "platform/system/folders.h"
#include "player/formats/media_maker.h"
#include "support/scoped_env.h"
#include "support/shared_media.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>
#include <memory>
#include <string>

namespace qorve::test {
namespace {

const std::string kSpcFolder = (SharedMedia() / "spc").string() + "/";

class SnesapuTest : public TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    LoadSettings();
    SetWaveOutFactory([this] { return card.NewDevice(); });
  }
  void TearDown() override {
    media.reset();
    SetWaveOutFactory(nullptr);
    SetProgramFolderForTesting({});
    LoadSettings();
    TempHome::TearDown();
  }
  int OpenMedia(const std::string& path) {
    media = std::make_unique<SNESAPU>();
    return media->Open(path, "SPC", nullptr);
  }
  MediaInfo Info() const { return test::InfoOf(*media); }
  MediaState Status() { return test::StatusOf(*media); }
  // A silent image with the ID666 length field `seconds` and a title.
  std::string BuildImage(const std::string& seconds) {
    std::string image(66048, '\0');
    image.replace(0, 33, "SNES-SPC700 Sound File Data v0.30");
    image.replace(0x2E, 5, "Built");
    image.replace(0xA9, seconds.size(), seconds);
    const std::string path = (root() / "built.spc").string();
    WriteFile(path, image);
    return path;
  }
  // What ffmpeg's libgme input renders of the first `seconds` at `rate`.
  std::string Reference(const std::string& path, int seconds, int rate) {
    const std::string raw = (root() / "reference.raw").string();
    EXPECT_TRUE(RunCommand("ffmpeg -v quiet -y -sample_rate " + std::to_string(rate) + " -i '" + path + "' -t " +
                           std::to_string(seconds) + " -f s16le '" + raw + "'"));
    return ReadFile(raw);
  }
  // Plays until `bytes` have been heard, a pass of the ring at a time.
  std::vector<uint8_t> PlayFor(std::size_t bytes) {
    std::vector<uint8_t> played;
    card.TakePlayed();
    while (played.size() < bytes) {
      const uint32_t before = card.Position();
      card.Advance(std::min<uint64_t>(card.QueuedBytes(), bytes - played.size()));
      const std::vector<uint8_t> chunk = card.TakePlayed();
      played.insert(played.end(), chunk.begin(), chunk.end());
      // The worker refills the buffer whose turn has ended and queues the next pass.
      const uint32_t deadline = TimeGetTime() + 5000;
      while (card.QueuedBytes() == 0 && TimeGetTime() - deadline > 0x80000000u) SleepMs(1);
      if (card.Position() == before) break;
    }
    return played;
  }

  VirtualSoundCard card;
  std::unique_ptr<SNESAPU> media;
};

struct RealFile {
  const char* name;
  const char* title;
  const char* artist;
  const char* game;
  double length;
};

class SnesapuRealFileTest : public SnesapuTest, public ::testing::WithParamInterface<RealFile> {};

TEST_P(SnesapuRealFileTest, ReadsTheTagAndPlaysWhatLibgmeRendersForTwentySeconds) {
  QORVE_NEED_SHARED_MEDIA();
  if (!HaveTools({"ffmpeg"})) GTEST_SKIP() << "ffmpeg missing";
  const std::string path = kSpcFolder + GetParam().name;
  const std::string reference = Reference(path, 20, 44100);
  ASSERT_EQ(OpenMedia(path), kResultSuccess);
  const MediaInfo info = Info();
  EXPECT_STREQ(info.Title, GetParam().title);
  EXPECT_STREQ(info.Artist, GetParam().artist);
  EXPECT_STREQ(info.Album, GetParam().game);
  EXPECT_DOUBLE_EQ(info.Length, GetParam().length);
  EXPECT_EQ(info.SampleRate, 44100);
  EXPECT_EQ(info.Channels, 2);
  EXPECT_EQ(info.Bits, 16);

  media->Play(-1.0);
  const std::vector<uint8_t> played = PlayFor(20 * 44100 * 4);
  ASSERT_EQ(played.size(), 20u * 44100 * 4);
  ASSERT_GE(reference.size(), played.size());
  EXPECT_EQ(std::memcmp(played.data(), reference.data(), played.size()), 0);
}

INSTANTIATE_TEST_SUITE_P(Files, SnesapuRealFileTest,
                         ::testing::Values(RealFile{"ferris-nu.spc", "nu", "ferris", "elix - nu", 121},
                                           RealFile{"smashit_noID666.spc", "", "", "", 180}),
                         [](const auto& info) { return std::to_string(info.index); });

TEST_F(SnesapuTest, OutputRateComesFromHzAndHalfVolumeHalvesTheSound) {
  QORVE_NEED_SHARED_MEDIA();
  if (!HaveTools({"ffmpeg"})) GTEST_SKIP() << "ffmpeg missing";
  const std::string path = kSpcFolder + "ferris-nu.spc";
  const std::string reference = Reference(path, 4, 32000);
  ProgramSettings().spcsetHz = 32000;
  ProgramSettings().spcsetVolume = 0x10000;
  ASSERT_EQ(OpenMedia(path), kResultSuccess);
  EXPECT_EQ(Info().SampleRate, 32000);
  media->Play(-1.0);
  const std::vector<uint8_t> played = PlayFor(4 * 32000 * 4);
  ASSERT_EQ(played.size(), reference.size());
  int16_t ours = 0;
  int16_t theirs = 0;
  long louder = 0;
  for (std::size_t i = 0; i < played.size(); i += 2) {
    std::memcpy(&ours, &played[i], 2);
    std::memcpy(&theirs, &reference[i], 2);
    if (std::abs(ours * 2 - theirs) > 1) ++louder;
  }
  EXPECT_EQ(louder, 0);
}

// A rate typed outside what the emulator renders: the device is told the rate
// the samples are rendered at, so the song plays at its own speed.
class SnesapuTypedRateTest : public SnesapuTest, public ::testing::WithParamInterface<int> {};

TEST_P(SnesapuTypedRateTest, OutOfRangePlaysAtTheRateItIsRenderedAt) {
  QORVE_NEED_SHARED_MEDIA();
  if (!HaveTools({"ffmpeg"})) GTEST_SKIP() << "ffmpeg missing";
  const std::string path = kSpcFolder + "ferris-nu.spc";
  const std::string reference = Reference(path, 2, 32000);
  const std::filesystem::path capture = root() / "capture.wav";
  SetWaveOutFactory(nullptr);
  ScopedEnv env;
  env.Set("QORVE_AUDIO", ("wav-fast:" + capture.string()).c_str());
  ProgramSettings().spcsetHz = GetParam();
  ASSERT_EQ(OpenMedia(path), kResultSuccess);
  EXPECT_EQ(Info().SampleRate, 32000);
  media->Play(-1.0);
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (Status().TimePos < 2.0 && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  media.reset();

  const std::string wav = ReadFile(capture.string());
  ASSERT_GE(wav.size(), 44u + reference.size());
  uint32_t rate = 0;
  uint32_t bytesPerSecond = 0;
  std::memcpy(&rate, wav.data() + 24, 4);
  std::memcpy(&bytesPerSecond, wav.data() + 28, 4);
  EXPECT_EQ(rate, 32000u);
  EXPECT_EQ(bytesPerSecond, 32000u * 4);
  EXPECT_EQ(wav.compare(44, reference.size(), reference), 0);  // rendered at that rate
}

INSTANTIATE_TEST_SUITE_P(Rates, SnesapuTypedRateTest, ::testing::Values(0, -1, 999, 768001),
                         [](const auto& info) {
                           return info.param < 0 ? "Minus" + std::to_string(-info.param) : std::to_string(info.param);
                         });

// Energy of L − R over stereo 16-bit frames.
double SideEnergy(const std::vector<uint8_t>& pcm) {
  double sum = 0;
  for (std::size_t i = 0; i + 4 <= pcm.size(); i += 4) {
    int16_t left = 0;
    int16_t right = 0;
    std::memcpy(&left, &pcm[i], 2);
    std::memcpy(&right, &pcm[i + 2], 2);
    const double side = static_cast<double>(left) - right;
    sum += side * side;
  }
  return sum;
}

// SURND as the settings program writes it (4) and as a file edited by hand
// may hold it (1): either widens the stereo image of a real song.
class SnesapuSurroundTest : public SnesapuTest, public ::testing::WithParamInterface<int> {};

TEST_P(SnesapuSurroundTest, StoredSurroundWidensTheStereoImage) {
  QORVE_NEED_SHARED_MEDIA();
  const std::string path = kSpcFolder + "ferris-nu.spc";
  const auto sideOf = [&](int surround) {
    media.reset();
    ProgramSettings().spcsetSurnd = surround;
    EXPECT_EQ(OpenMedia(path), kResultSuccess);
    media->Play(-1.0);
    return SideEnergy(PlayFor(2 * 44100 * 4));
  };
  const double plain = sideOf(0);
  const double wide = sideOf(GetParam());
  ASSERT_GT(plain, 0.0);  // the song has a stereo image to widen
  EXPECT_GT(wide, 2.0 * plain);
  EXPECT_LT(wide, 3.0 * plain);
}

INSTANTIATE_TEST_SUITE_P(StoredValues, SnesapuSurroundTest, ::testing::Values(4, 1));

TEST_F(SnesapuTest, LengthFieldDigitsElse180Seconds) {
  ASSERT_EQ(OpenMedia(BuildImage("095")), kResultSuccess);
  EXPECT_DOUBLE_EQ(Info().Length, 95);
  EXPECT_STREQ(Info().Title, "Built");
  ASSERT_EQ(OpenMedia(BuildImage(std::string("\x5f\x00", 2))), kResultSuccess);
  EXPECT_DOUBLE_EQ(Info().Length, 180);
}

TEST_F(SnesapuTest, PlayModeOneIgnoresSeeksAndNeverEnds) {
  ProgramSettings().soundsetLoop = 1;
  ASSERT_EQ(OpenMedia(BuildImage("010")), kResultSuccess);
  media->Play(-1.0);
  card.Advance(44100 * 4 * 2);
  media->Play(5.0);  // a click on the seek bar: nothing happens
  EXPECT_DOUBLE_EQ(Status().TimePos, 2.0);
  EXPECT_DOUBLE_EQ(Info().Length, 86400);
  PlayFor(44100 * 4 * 12);
  EXPECT_DOUBLE_EQ(Status().TimePos, 14.0);  // past the song's 10 s, still running

  ProgramSettings().soundsetLoop = 2;
  media->Play(5.0);
  EXPECT_DOUBLE_EQ(Status().TimePos, 5.0);
  EXPECT_DOUBLE_EQ(Info().Length, 10);
}

TEST_F(SnesapuTest, PlayFromSecondsSoundsAsTheEmulationDoesThere) {
  QORVE_NEED_SHARED_MEDIA();
  if (!HaveTools({"ffmpeg"})) GTEST_SKIP() << "ffmpeg missing";
  const std::string path = kSpcFolder + "ferris-nu.spc";
  const std::string reference = Reference(path, 8, 44100);
  ASSERT_EQ(OpenMedia(path), kResultSuccess);
  media->Play(3.0);
  EXPECT_DOUBLE_EQ(Status().TimePos, 3.0);
  EXPECT_EQ(Status().PlayState, kPlaying);
  const std::vector<uint8_t> played = PlayFor(5 * 44100 * 4);
  ASSERT_EQ(played.size(), 5u * 44100 * 4);
  EXPECT_EQ(std::memcmp(played.data(), reference.data() + 3 * 44100 * 4, played.size()), 0);

  media->Play(60.0);
  EXPECT_DOUBLE_EQ(Status().TimePos, 60.0);
  const std::vector<uint8_t> later = PlayOnePass(card);
  EXPECT_LT(std::count(later.begin(), later.end(), 0), static_cast<long>(later.size() / 2));
  media->TogglePause();
  EXPECT_EQ(Status().PlayState, kPaused);
  media->TogglePause();
  EXPECT_DOUBLE_EQ(Status().TimePos, 0.0);
}

struct OpenFailure {
  const char* name;
  bool moduleMissing;
  bool fileMissing;
  bool deviceFails;
  int result;
};

class SnesapuOpenFailureTest : public SnesapuTest, public ::testing::WithParamInterface<OpenFailure> {};

TEST_P(SnesapuOpenFailureTest, ReportsWhyItCannotPlay) {
  const OpenFailure& failure = GetParam();
  if (failure.moduleMissing) SetProgramFolderForTesting(root());
  if (failure.deviceFails) card.FailOpens(MMSYSERR_ALLOCATED);
  if (!failure.fileMissing) QORVE_NEED_SHARED_MEDIA();
  const std::string path = failure.fileMissing ? (root() / "none.spc").string() : kSpcFolder + "ferris-nu.spc";
  EXPECT_EQ(OpenMedia(path), failure.result);
  media.reset();
}

INSTANTIATE_TEST_SUITE_P(Cases, SnesapuOpenFailureTest,
                         ::testing::Values(OpenFailure{"ModuleMissing", true, false, false, kResultLibraryNotFound},
                                           OpenFailure{"FileMissing", false, true, false, kResultFileNotFound},
                                           OpenFailure{"DeviceBusy", false, false, true, kResultDeviceInUse}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qorve::test
