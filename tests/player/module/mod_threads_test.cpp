// The MOD media class over a virtual sound card: opening (length measured,
// failures with their codes), playing from a time by rendering ahead, pause
// and toggle, the log lines, and the factory's group for MOD and XM.
#include "player/module/mod.h"

#include "module_images.h"
#include "player/audio/wave_out_stream_fixture.h"
#include "player/core/media_factory.h"
#include "player/core/player_state.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

namespace qorve {
namespace {

using test::BuildXm;
using test::Cell;
using test::XmSong;

constexpr uint32_t kSecond = 44100 * 4;

class ModClass : public test::WaveOutStreamTest {
 protected:
  // A song of `rows` rows at 0.1 s each (speed 5, tempo 125) of a square tone.
  std::string WriteSong(const std::string& name, int rows) {
    XmSong song;
    song.channels = 1;
    song.speed = 5;
    song.instruments.push_back(test::SquareInstrument());
    song.patterns[0].rows = rows;
    for (int row = 0; row < rows; ++row) song.patterns[0].cells.push_back(Cell{static_cast<uint8_t>(37 + row % 24), 1, 0, 0, 0});
    const auto image = BuildXm(song);
    const auto path = root() / name;
    test::WriteFile(path, std::string(image.begin(), image.end()));
    return path.string();
  }

  // What the engine renders from `second` whole seconds on, for `bytes` bytes.
  static std::vector<uint8_t> EngineFrom(const std::string& path, int second, uint32_t bytes) {
    const std::string image = test::ReadFile(path);
    ModPlayer* engine = ModCreate();
    ModLoad(engine, reinterpret_cast<const uint8_t*>(image.data()), static_cast<int64_t>(image.size()));
    ModSetLoop(engine, 0);
    ModReset(engine);
    std::vector<uint8_t> pcm(kSecond);
    for (int s = 0; s < second; ++s) ModRender(engine, pcm.data(), 44100);
    std::vector<uint8_t> out(bytes, 0);
    ModRender(engine, out.data(), static_cast<int>(bytes / 4));
    ModDestroy(engine);
    return out;
  }
};

TEST_F(ModClass, SongOfTenAndAHalfSecondsHasLengthEleven) {
  MOD mod;
  ASSERT_EQ(mod.Open(WriteSong("song.xm", 105), "XM", nullptr), 0);
  MediaInfo info;
  mod.GetInfo(info);
  EXPECT_EQ(info.Kind, kKindSound);
  EXPECT_EQ(info.Length, 11.0);
  EXPECT_STREQ(info.Format, "XM");
  EXPECT_STREQ(info.FileName, "song.xm");
  EXPECT_EQ(info.SampleRate, 0);
  EXPECT_TRUE(Logged("MODコンストラクタ", 0));
}

TEST_F(ModClass, PlayFromTwoAndAHalfRendersThreeSecondsAheadAndShowsTwoAndAHalf) {
  const std::string path = WriteSong("song.mod", 105);  // an XM named .mod
  MOD mod;
  ASSERT_EQ(mod.Open(path, "MOD", nullptr), 0);
  ASSERT_EQ(mod.Play(2.5), 0);
  MediaState state{};
  mod.GetStatus(state);
  EXPECT_DOUBLE_EQ(state.TimePos, 2.5);
  EXPECT_EQ(state.PlayState, kPlaying);
  card->Advance(kSecond);
  EXPECT_EQ(card->TakePlayed(), EngineFrom(path, 3, kSecond));
  mod.GetStatus(state);
  EXPECT_DOUBLE_EQ(state.TimePos, 3.5);
}

TEST_F(ModClass, PauseThenToggleStartsTheSongAgain) {
  const std::string path = WriteSong("song.xm", 105);
  MOD mod;
  ASSERT_EQ(mod.Open(path, "XM", nullptr), 0);
  mod.Play(-1.0);
  card->Advance(2 * kSecond);
  card->TakePlayed();
  mod.TogglePause();
  MediaState state{};
  mod.GetStatus(state);
  EXPECT_EQ(state.PlayState, kPaused);
  mod.TogglePause();
  mod.GetStatus(state);
  EXPECT_EQ(state.PlayState, kPlaying);
  EXPECT_DOUBLE_EQ(state.TimePos, 0.0);
  card->Advance(kSecond);
  EXPECT_EQ(card->TakePlayed(), EngineFrom(path, 0, kSecond));
}

TEST_F(ModClass, AfterTheEndTheBufferIsSilenceAndTheSongStartsAgain) {
  const std::string path = WriteSong("short.xm", 5);  // 0.48 s
  MOD mod;
  ASSERT_EQ(mod.Open(path, "XM", nullptr), 0);
  MediaInfo info;
  mod.GetInfo(info);
  EXPECT_EQ(info.Length, 1.0);
  mod.Play(0);
  card->Advance(2 * kSecond);
  const std::vector<uint8_t> played = card->TakePlayed();
  const std::vector<uint8_t> once = EngineFrom(path, 0, kSecond);
  // The song's 0.48 s, then silence to the end of the second, then, after one
  // silent tick, the song again.
  EXPECT_TRUE(std::equal(once.begin(), once.end(), played.begin()));
  EXPECT_TRUE(std::all_of(played.begin() + 24 * 882 * 4, played.begin() + kSecond, [](uint8_t b) { return b == 0; }));
  EXPECT_TRUE(std::all_of(played.begin() + kSecond, played.begin() + kSecond + 882 * 4, [](uint8_t b) { return b == 0; }));
  EXPECT_TRUE(std::equal(once.begin(), once.begin() + 20000, played.begin() + kSecond + 882 * 4));
}

struct OpenFailure {
  const char* name;
  std::string bytes;  // "" with `missing`: no file at all
  bool missing;
  int code;
};

class ModClassOpenFails : public test::WaveOutStreamTest, public testing::WithParamInterface<OpenFailure> {};

TEST_P(ModClassOpenFails, WithItsCode) {
  const auto path = root() / "file.mod";
  if (!GetParam().missing) test::WriteFile(path, GetParam().bytes);
  MOD mod;
  EXPECT_EQ(mod.Open(path.string(), "MOD", nullptr), GetParam().code);
  MediaState state{};
  mod.GetStatus(state);
  EXPECT_EQ(state.PlayState, 0);
  EXPECT_EQ(mod.Play(1.0), 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, ModClassOpenFails,
                         testing::Values(OpenFailure{"Missing", "", true, kResultFileNotFound},
                                         OpenFailure{"Empty", "", false, kResultWrongExtension},
                                         OpenFailure{"NotAModule", std::string(4000, 'x'), false, kResultWrongExtension}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ModClass, DeviceThatCannotOpenGivesSix) {
  card->FailOpens(MMSYSERR_ALLOCATED);
  MOD mod;
  EXPECT_EQ(mod.Open(WriteSong("song.xm", 8), "XM", nullptr), kResultDeviceInUse);
}

TEST_F(ModClass, DestructorLogsAndClosesTheStream) {
  {
    MOD mod;
    ASSERT_EQ(mod.Open(WriteSong("song.xm", 8), "XM", nullptr), 0);
    mod.Play(0);
    EXPECT_TRUE(card->IsOpen());
  }
  EXPECT_FALSE(card->IsOpen());
  EXPECT_TRUE(Logged("MODデストラクタ", 0));
}

TEST_F(ModClass, FactoryOpensModAndXmFilesWithTheModClass) {
  for (const char* name : {"tune.xm", "tune.MOD"}) {
    std::string path = WriteSong(name, 8);
    ASSERT_EQ(LoadMedia(nullptr, path, 0), 0) << name;
    MediaInfo info;
    Player().media->GetInfo(info);
    EXPECT_EQ(info.Length, 1.0);
    EXPECT_EQ(info.Kind, kKindSound);
    Player().media.reset();
  }
}

}  // namespace
}  // namespace qorve
