// The sequencer and mixer: the effect figures (slides spread over every tick,
// arpeggio order, jumps and breaks, speed and tempo commands, note cut, key
// off), sample offsets into loops, the output limit, the auto gain, periods,
// reproducibility and the measured length.
#include "player/module/mod_player.h"
#include "module_images.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <tuple>

namespace qorve {
namespace {

using test::BuildMod;
using test::BuildXm;
using test::Cell;
using test::ModNote;
using test::ModSong;
using test::XmSong;

using test::Player;
constexpr auto Load = test::LoadImage;

// A one-channel XM with the square instrument and the given first-row cells,
// one pattern per entry of `rows`.
XmSong Song(std::vector<std::vector<Cell>> rows, int channels = 1, int speed = 6) {
  XmSong song;
  song.channels = channels;
  song.speed = speed;
  song.instruments.push_back(test::SquareInstrument());
  song.patterns.clear();
  song.orders.clear();
  for (auto& cells : rows) {
    test::XmPattern pattern;
    pattern.rows = 8;
    pattern.cells = cells;
    song.orders.push_back(static_cast<int>(song.patterns.size()));
    song.patterns.push_back(pattern);
  }
  return song;
}

// Renders exactly one tick's samples, so the sequencer moves one tick.
std::vector<int16_t> RunTick(ModPlayer* p) {
  const int frames = p->samplesLeft > 0 ? p->samplesLeft : p->samplesPerTick;
  std::vector<int16_t> pcm(static_cast<std::size_t>(frames) * 2);
  ModRender(p, pcm.data(), frames);
  return pcm;
}

constexpr uint8_t kC4 = 49;  // note 48 of the engine

struct SlideCase {
  int speed;
  std::vector<int> volumes;  // after each tick
};

class VolumeSlide : public testing::TestWithParam<SlideCase> {};

TEST_P(VolumeSlide, IsSpreadOverEveryTickOfTheRow) {
  const Player p = Load(BuildXm(Song({{Cell{kC4, 1, 0x10, 0xA, 0x10}}}, 1, GetParam().speed)));
  for (int expected : GetParam().volumes) {
    RunTick(p.get());
    EXPECT_EQ(p->channel[0].volume, expected);
  }
}

INSTANTIATE_TEST_SUITE_P(Speeds, VolumeSlide,
                         testing::Values(SlideCase{6, {3413, 6826, 10239, 13652, 17065, 20478}},
                                         SlideCase{1, {0, 0, 0}}),
                         [](const auto& info) { return "Speed" + std::to_string(info.param.speed); });

TEST(Arpeggio, PlaysNoteThenLowNibbleThenHighNibble) {
  const Player p = Load(BuildXm(Song({{Cell{kC4, 1, 0, 0x0, 0x37}}})));
  const int note = ModNotePeriod(p.get(), 48, 0);
  const std::vector<int> expected = {note, ModNotePeriod(p.get(), 55, 0), ModNotePeriod(p.get(), 51, 0), note};
  for (int period : expected) {
    RunTick(p.get());
    EXPECT_EQ(p->channel[0].finalPeriod, period);
  }
}

struct JumpCase {
  const char* name;
  int songLoop;
  Cell cell;        // in row 1 of the second pattern (order 1)
  int orderAfter;   // after that row
  int rowAfter;
};

class PositionJump : public testing::TestWithParam<JumpCase> {};

TEST_P(PositionJump, FollowsTheSongLoopFlag) {
  const Player p = Load(BuildXm(Song({{}, {Cell{}, GetParam().cell}, {}})));
  ModSetLoop(p.get(), GetParam().songLoop);
  ModReset(p.get());
  for (int tick = 0; tick < 6 * 10; ++tick) RunTick(p.get());  // to order 1, row 2
  EXPECT_EQ(p->order, GetParam().orderAfter);
  EXPECT_EQ(p->row, GetParam().rowAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PositionJump,
    testing::Values(JumpCase{"BackwardIgnoredWithoutSongLoop", 0, Cell{0, 0, 0, 0xB, 0x00}, 1, 2},
                    JumpCase{"BackwardObeyedWithSongLoop", 1, Cell{0, 0, 0, 0xB, 0x00}, 0, 0},
                    JumpCase{"ToCurrentOrderObeyed", 0, Cell{0, 0, 0, 0xB, 0x01}, 1, 0},
                    JumpCase{"BreakToRow", 0, Cell{0, 0, 0, 0xD, 0x05}, 2, 5}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PositionJump, JumpAndBreakInOneRowGoToTheNextOrderAtTheBreakRow) {
  std::vector<Cell> row0 = {Cell{0, 0, 0, 0xB, 0x03}, Cell{}, Cell{0, 0, 0, 0xD, 0x05}};
  const Player p = Load(BuildXm(Song({row0, {}, {}, {}}, 3)));
  for (int tick = 0; tick < 6; ++tick) RunTick(p.get());
  EXPECT_EQ(p->order, 1);
  EXPECT_EQ(p->row, 5);
}

struct SpeedTempoCase {
  bool xm;
  int parameter;
  int speed;
  int tempo;
};

class SpeedOrTempo : public testing::TestWithParam<SpeedTempoCase> {};

TEST_P(SpeedOrTempo, DependsOnTheLayout) {
  Player p;
  if (GetParam().xm) {
    p = Load(BuildXm(Song({{Cell{0, 0, 0, 0xF, static_cast<uint8_t>(GetParam().parameter)}}})));
  } else {
    ModSong song;
    song.patterns[0].resize(4);
    song.patterns[0][0] = ModNote{0, 0, 0xF, GetParam().parameter};
    p = Load(BuildMod(song));
  }
  RunTick(p.get());
  EXPECT_EQ(p->speed, GetParam().speed);
  EXPECT_EQ(p->tempo, GetParam().tempo);
}

INSTANTIATE_TEST_SUITE_P(Figures, SpeedOrTempo,
                         testing::Values(SpeedTempoCase{true, 0x20, 6, 32}, SpeedTempoCase{false, 0x20, 32, 125},
                                         SpeedTempoCase{true, 0x21, 6, 33}, SpeedTempoCase{false, 0x21, 6, 33},
                                         SpeedTempoCase{true, 0x1F, 31, 125}),
                         [](const auto& info) {
                           return std::string(info.param.xm ? "Xm" : "Mod") + "F" + std::to_string(info.param.parameter);
                         });

TEST(TickLength, FollowsTheTempoFromTheTickAfterTheCommand) {
  // F40 on row 0: tempo 64, so every tick from the first on lasts
  // 44100 × 5 ÷ 128 = 1722 frames; row 1 begins with the sixth tick.
  const Player p = Load(BuildXm(Song({{Cell{kC4, 1, 0, 0xF, 0x40}}})));
  std::vector<int16_t> pcm(2 * 5 * 1722);
  ModRender(p.get(), pcm.data(), 5 * 1722);
  EXPECT_EQ(p->tempo, 64);
  EXPECT_EQ(p->row, 0);
  EXPECT_EQ(p->tick, 5);
  EXPECT_EQ(p->samplesLeft, 0);
  ModRender(p.get(), pcm.data(), 1);
  EXPECT_EQ(p->row, 1);
  EXPECT_EQ(p->tick, 0);
  EXPECT_EQ(p->samplesLeft, 1722 - 1);
}

TEST(TickLength, TempoOneAndTwoLastLongerThanASecond) {
  // Four rows of speed 1: four ticks of 2.5 s ÷ tempo; the song ends after
  // the fourth, when three ticks have been rendered.
  for (const auto& [tempo, frames, seconds] : {std::tuple{1, 110250, 8}, std::tuple{2, 55125, 4}}) {
    XmSong song = Song({{Cell{kC4, 1, 0, 0, 0}}}, 1, 1);
    song.tempo = tempo;
    song.patterns[0].rows = 4;
    const Player p = Load(BuildXm(song));
    EXPECT_EQ(p->samplesPerTick, frames) << tempo;
    ModSetLoop(p.get(), 0);
    EXPECT_EQ(ModMeasureSeconds(p.get(), 1800), seconds) << tempo;
  }
}

TEST(NoteCut, EC0CutsOnTheFirstTick) {
  const Player p = Load(BuildXm(Song({{Cell{kC4, 1, 0, 0xE, 0xC0}}})));
  RunTick(p.get());
  EXPECT_EQ(p->channel[0].volume, 0);
  EXPECT_EQ(p->channel[0].finalVolume, 0);
}

TEST(KeyOff, WithoutVolumeEnvelopeSilencesAtOnce) {
  const Player p = Load(BuildXm(Song({{Cell{kC4, 1, 0, 0, 0}, Cell{97, 0, 0, 0, 0}}})));
  for (int tick = 0; tick < 6; ++tick) RunTick(p.get());
  EXPECT_GT(p->channel[0].finalVolume, 0);
  RunTick(p.get());
  EXPECT_EQ(p->channel[0].finalVolume, 0);
  EXPECT_EQ(p->channel[0].volume, 0);
  EXPECT_EQ(p->channel[0].keyOff, 0);
}

TEST(KeyOff, WithVolumeEnvelopeFadesOut) {
  XmSong song = Song({{Cell{kC4, 1, 0, 0, 0}, Cell{97, 0, 0, 0, 0}}});
  song.instruments[0].volumeEnvelope = {{0, 64}, {100, 64}};
  song.instruments[0].volumeType = kEnvelopeOn;
  song.instruments[0].fadeout = 0x800;
  const Player p = Load(BuildXm(song));
  for (int tick = 0; tick < 7; ++tick) RunTick(p.get());
  EXPECT_EQ(p->channel[0].fadeoutVolume, 0x10000 - 0x1000);
  EXPECT_GT(p->channel[0].finalVolume, 0);
}

TEST(SampleOffset, BeyondALoopedSampleStartsInsideItsLoop) {
  XmSong song = Song({{Cell{kC4, 1, 0, 0x9, 0x04}}});
  test::XmSample sample;
  sample.values.assign(1000, 20);
  sample.loopType = 1;
  sample.loopStart = 500;
  sample.loopLength = 500;
  song.instruments[0].samples[0] = sample;
  const Player p = Load(BuildXm(song));
  ModSetRate(p.get(), 44100);
  // Before the tick is mixed: run the sequencer alone for the first tick.
  std::vector<int16_t> pcm(2);
  ModRender(p.get(), pcm.data(), 1);
  const uint64_t position = p->channel[0].samplePosition;
  // Offset 1024 → (1024 − 500) mod 500 + 500 = 524, one frame's step later.
  EXPECT_GE(position, 524u << 12);
  EXPECT_LT(position, (524u << 12) + p->channel[0].step + 1);
}

// Eight channels of a full-scale square at full volume: the sum clips.
Player LoudSong() {
  std::vector<Cell> row(8, Cell{kC4, 1, 0x50, 0, 0});
  XmSong song = Song({row}, 8);
  song.instruments[0].samples[0] = test::LoopedSquare(64, 127);
  song.patterns[0].rows = 64;
  return Load(BuildXm(song));
}

TEST(Mixer, OutputNeverReachesMinus32768) {
  const Player p = LoudSong();
  std::vector<int16_t> pcm(44100 * 2);
  ModRender(p.get(), pcm.data(), 44100);
  EXPECT_EQ(*std::min_element(pcm.begin(), pcm.end()), -32767);
  EXPECT_EQ(*std::max_element(pcm.begin(), pcm.end()), 32767);
}

TEST(Mixer, AutoGainFallsWhileClippingAndClimbsBackWhenQuiet) {
  const Player p = LoudSong();
  std::vector<int16_t> pcm(256 * 2);
  RunTick(p.get());  // the notes are set; the gain has moved with the tick's blocks
  p->autoGain = 4096;
  ModMix(p.get(), pcm.data(), 256);
  EXPECT_EQ(p->autoGain, 4096 - 16);
  ModMix(p.get(), pcm.data(), 256);
  EXPECT_EQ(p->autoGain, 4080 - 15);
  // Silence without a jump for the declick to smooth.
  for (ModChannel& c : p->channel) {
    c.sample = nullptr;
    c.mixSample = nullptr;
    c.mixLastLeft = c.mixLastRight = 0;
  }
  p->declickLeft = p->declickRight = 0;
  ModMix(p.get(), pcm.data(), 256);
  EXPECT_EQ(p->autoGain, 4065 + 15 + 1);
  for (int i = 0; i < 10; ++i) ModMix(p.get(), pcm.data(), 256);
  EXPECT_EQ(p->autoGain, 4096);
}

TEST(Mixer, DeclickSmoothsANoteThatStartsAtFullLevel) {
  const Player p = Load(BuildXm(Song({{Cell{kC4, 1, 0, 0, 0}}})));
  std::vector<int16_t> pcm(64 * 2);
  ModRender(p.get(), pcm.data(), 64);
  // The square starts at +100 × 256 at full gain; the declick offset starts
  // the output at 0 and lets it reach the wave gradually.
  EXPECT_EQ(pcm[0], 0);
  EXPECT_LT(std::abs(pcm[2]), 1000);
  EXPECT_GT(std::abs(pcm[2 * 63]), 5000);
}

struct PeriodModeCase {
  int flags;
  int note48;
};

class NotePeriods : public testing::TestWithParam<PeriodModeCase> {};

TEST_P(NotePeriods, RoundTripThroughEveryNoteAndFinetune) {
  XmSong song = Song({{}});
  song.flags = GetParam().flags;
  const Player p = Load(BuildXm(song));
  EXPECT_EQ(ModNotePeriod(p.get(), 48, 0), GetParam().note48);
  for (int finetune : {-128, -16, 0, 15, 127}) {
    for (int note = 0; note <= 118; ++note) {
      ASSERT_EQ(ModPeriodNote(p.get(), ModNotePeriod(p.get(), note, finetune), finetune), note)
          << "note " << note << " finetune " << finetune;
    }
  }
  EXPECT_EQ(ModNotePeriod(p.get(), 200, 0), ModNotePeriod(p.get(), 118, 0));
}

INSTANTIATE_TEST_SUITE_P(Modes, NotePeriods,
                         testing::Values(PeriodModeCase{0, 1712 * 4096}, PeriodModeCase{1, (7680 - 64 * 48) * 4096}),
                         [](const auto& info) { return info.param.flags ? "Linear" : "Amiga"; });

TEST(Step, MiddleCPlaysAt8363HzInBothModes) {
  for (int flags : {0, 1}) {
    XmSong song = Song({{Cell{kC4, 1, 0, 0, 0}}});
    song.flags = flags;
    const Player p = Load(BuildXm(song));
    RunTick(p.get());
    EXPECT_NEAR(static_cast<double>(p->channel[0].step) * 44100 / 4096, 8363.0, 10.0) << flags;
  }
}

TEST(Render, AutoVibratoOfRandomTypeIsReproducibleAfterReset) {
  XmSong song = Song({{Cell{kC4, 1, 0, 0, 0}}});
  song.instruments[0].vibratoType = 4;
  song.instruments[0].vibratoDepth = 8;
  song.instruments[0].vibratoRate = 4;
  const Player p = Load(BuildXm(song));
  std::vector<int16_t> first(20000), second(20000);
  ModRender(p.get(), first.data(), 10000);
  ModReset(p.get());
  ModRender(p.get(), second.data(), 10000);
  EXPECT_EQ(first, second);
}

TEST(Render, SpeedAndTempoOfZeroFallBackToTheDefaults) {
  XmSong song = Song({{Cell{kC4, 1, 0, 0, 0}}});
  song.speed = 0;
  song.tempo = 0;
  const Player p = Load(BuildXm(song));
  EXPECT_EQ(p->speed, 6);
  EXPECT_EQ(p->tempo, 125);
  EXPECT_EQ(p->samplesPerTick, 882);
  std::vector<int16_t> pcm(2000);
  EXPECT_EQ(ModRender(p.get(), pcm.data(), 1000), 1);
}

TEST(Render, SongEndStopsTheRequestAndTheNextRenderStartsAgain) {
  const Player p = Load(BuildXm(Song({{Cell{kC4, 1, 0, 0, 0}}})));
  ModSetLoop(p.get(), 0);
  ModReset(p.get());
  // 8 rows × 6 ticks × 882 frames, less the last tick that is never mixed.
  std::vector<int16_t> pcm(2 * 50000, 7);
  ModRender(p.get(), pcm.data(), 50000);
  EXPECT_EQ(p->ended, 1);
  EXPECT_NE(pcm[2 * (47 * 882 - 1)], 7);
  EXPECT_EQ(pcm[2 * (47 * 882)], 7) << "the rest of the request is not written";
  ModRender(p.get(), pcm.data(), 10);
  EXPECT_EQ(p->ended, 0);
  EXPECT_EQ(p->order, 0);
}

TEST(Render, WithTheSongLoopFlagTheSongGoesOnAtItsRestartPosition) {
  // Row 1 of order 0 sets global volume 32 and speed 3. Restarting at order
  // 1 keeps both; restarting at 0 is a full reset, and row 0 sets neither.
  std::vector<Cell> first = {Cell{kC4, 1, 0, 0, 0}, Cell{}, Cell{0, 0, 0, 16, 0x20}, Cell{0, 0, 0, 0xF, 0x03}};
  for (const auto& [restart, speed, global] : {std::tuple{1, 3, 0x20000}, std::tuple{0, 6, 0x40000}}) {
    XmSong song = Song({first, {}}, 2);
    song.restart = restart;
    const Player p = Load(BuildXm(song));
    std::vector<int16_t> pcm(2 * 88200);
    ModRender(p.get(), pcm.data(), 88200);  // 51 ticks
    ASSERT_EQ(p->ended, 1);
    RunTick(p.get());
    EXPECT_EQ(p->ended, 0) << restart;
    EXPECT_EQ(p->order, restart) << restart;
    EXPECT_EQ(p->speed, speed) << restart;
    EXPECT_EQ(p->globalVolume, global) << restart;
  }
}

TEST(Measure, SongOfTenAndAHalfSecondsMeasuresEleven) {
  // Speed 5 at tempo 125: 0.1 s per row; 105 rows.
  XmSong song = Song({{Cell{kC4, 1, 0, 0, 0}}}, 1, 5);
  song.patterns[0].rows = 105;
  const Player p = Load(BuildXm(song));
  ModSetLoop(p.get(), 0);
  EXPECT_EQ(ModMeasureSeconds(p.get(), 1800), 11);
  EXPECT_EQ(p->order, 0) << "left reset";
  EXPECT_EQ(p->tick, 0);
}

TEST(Measure, SongJumpingToItselfStopsAtTheJump) {
  // Three rows of speed 6 (0.36 s), then B00 back to the same order for ever.
  XmSong song = Song({{Cell{kC4, 1, 0, 0, 0}, Cell{}, Cell{0, 0, 0, 0xB, 0}}});
  song.speed = 6;
  const Player p = Load(BuildXm(song));
  ModSetLoop(p.get(), 0);
  EXPECT_EQ(ModMeasureSeconds(p.get(), 1800), 1);
  ModSetLoop(p.get(), 1);
  EXPECT_EQ(ModMeasureSeconds(p.get(), 1800), 1);
}

TEST(Measure, JumpToTheOrderBeingPlayedRepeatsOnlyWhenItGoesBack) {
  // Channel 0 breaks to a row of this order position, channel 1 jumps to the
  // position itself: the song goes on at that row of the same position.
  auto song = [](uint8_t jumpingRow, uint8_t breakRow) {
    std::vector<Cell> first(16);
    first[0] = Cell{kC4, 1, 0, 0, 0};
    first[2 * jumpingRow] = Cell{0, 0, 0, 0xD, breakRow};
    first[2 * jumpingRow + 1] = Cell{0, 0, 0, 0xB, 0x00};
    XmSong xm = Song({first, {}}, 2);
    xm.patterns[1].rows = 64;
    return xm;
  };
  // From row 0 to row 5: rows 0, 5, 6, 7 of order 0, then the 64 rows of
  // order 1; 68 rows of 6 ticks, the song ends after the 408th tick, when
  // 407 × 882 frames (8.1 s) have been rendered.
  const Player forward = Load(BuildXm(song(0, 0x05)));
  ModSetLoop(forward.get(), 0);
  EXPECT_EQ(ModMeasureSeconds(forward.get(), 1800), 9);
  // From row 2 back to row 2: rows 2 … 7 and then row 2 again, for ever; the
  // jump is taken within the first second.
  const Player same = Load(BuildXm(song(2, 0x02)));
  ModSetLoop(same.get(), 0);
  EXPECT_EQ(ModMeasureSeconds(same.get(), 1800), 1);
  // From row 3 to row 10, beyond the pattern's 8 rows: rows 0 … 3, then order
  // 1; again 68 rows.
  const Player pastTheEnd = Load(BuildXm(song(3, 0x10)));
  ModSetLoop(pastTheEnd.get(), 0);
  EXPECT_EQ(ModMeasureSeconds(pastTheEnd.get(), 1800), 9);
}

TEST(Measure, NeverEndingSongIsBounded) {
  // Pattern-loop free song that the loop flag sends back to its start.
  XmSong song = Song({{Cell{kC4, 1, 0, 0, 0}}, {Cell{0, 0, 0, 0xB, 0}}});
  const Player p = Load(BuildXm(song));
  ModSetLoop(p.get(), 1);
  EXPECT_EQ(ModMeasureSeconds(p.get(), 30), 30);
}

TEST(Render, NullArgumentsAndEmptyPlayerReturnZero) {
  Player empty(ModCreate());
  std::vector<int16_t> pcm(20);
  EXPECT_EQ(ModRender(empty.get(), pcm.data(), 10), 0);
  EXPECT_EQ(ModMix(empty.get(), pcm.data(), 10), 0);
  EXPECT_EQ(ModRender(nullptr, pcm.data(), 10), 0);
  const Player p = Load(BuildXm(Song({{}})));
  EXPECT_EQ(ModRender(p.get(), nullptr, 10), 0);
  EXPECT_EQ(ModMix(p.get(), nullptr, 10), 0);
  EXPECT_EQ(ModSetRate(p.get(), 0), 1);
  EXPECT_EQ(p->rate, 44100);
}

}  // namespace
}  // namespace qorve
