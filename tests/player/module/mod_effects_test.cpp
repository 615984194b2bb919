// Every effect and volume-column command of the module engine, tick by tick:
// the period, volume, panning, envelope and song position each tick leaves,
// worked out from the engine's fixed-point rules (slide scale 4096 × 5 ÷ 6 at
// speed 6, linear periods (120 − note) × 64 × 4096, the waveform definitions),
// and the PCM of 8- and 16-bit samples.
#include "player/module/mod_player.h"
#include "module_images.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace qorve {
namespace {

using test::BuildMod;
using test::BuildXm;
using test::Cell;
using test::LoadImage;
using test::ModNote;
using test::ModSong;
using test::NextTick;
using test::Player;
using test::Track;
using test::XmInstrument;
using test::XmSong;

constexpr uint8_t kC4 = 49;  // engine note 48
constexpr uint8_t kE4 = 53;  // engine note 52
constexpr uint8_t kKeyOff = 97;
constexpr int kScale = 4096 * 5 / 6;  // 3413: a slide's share of each tick at speed 6
constexpr int kFull = 64 * 4096;      // volume 64
constexpr int kCentre = 128 * 4096;   // XM panning of a sample

// Effect numbers beyond F in the XM layout.
constexpr uint8_t kG = 16, kH = 17, kK = 20, kL = 21, kP = 25, kR = 27, kT = 29, kX = 33, kY = 34;

int Linear(int note) { return (120 - note) * 64 * 4096; }
int Sine(int k) { return static_cast<int>(std::lround(127 * std::sin(2 * M_PI * (k & 63) / 64))); }
int FallingRamp(int k) { return (k & 63) < 32 ? -4 * (k & 63) : 255 - 4 * (k & 63); }
int Square(int k) { return (k & 63) < 32 ? 127 : -127; }
int FinalVolume(int global, int volume) { return (((global >> 6) * (volume >> 6)) >> 12) * 64; }
int FinalPanning(int panning) { return static_cast<int>(static_cast<int64_t>(panning) * 256 / 255); }

// A one-channel XM (linear periods, speed 6) playing `rows` of a 16-row
// pattern with `instrument` (by default a looped square at volume 64).
XmSong OneChannel(const std::vector<Cell>& rows, const XmInstrument& instrument = test::SquareInstrument()) {
  XmSong song;
  song.channels = 1;
  song.instruments = {instrument};
  song.patterns[0].rows = 16;
  song.patterns[0].cells = rows;
  return song;
}

Player Xm(const std::vector<Cell>& rows, const XmInstrument& instrument = test::SquareInstrument()) {
  return LoadImage(BuildXm(OneChannel(rows, instrument)));
}

// Channel 0 of a 4-channel MOD (Amiga periods) with one looped sample.
Player Mod(const std::vector<ModNote>& rows, int sampleVolume = 64) {
  ModSong song;
  song.samples.push_back({std::vector<int8_t>(64, 50), 0, sampleVolume, 0, 32});
  song.patterns[0].resize(64 * 4);
  for (std::size_t i = 0; i < rows.size(); ++i) song.patterns[0][i * 4] = rows[i];
  return LoadImage(BuildMod(song));
}

// `value` for each of `ticks` ticks, appended to `out`.
void Repeat(std::vector<int>& out, int ticks, int value) { out.insert(out.end(), ticks, value); }

// Amiga period of note 48 (MOD period 428): 1712 × 4096.
constexpr int kModC4 = 1712 * 4096;

TEST(Portamento, SlidesOnEveryTickAndSharesItsMemory) {
  {
    SCOPED_TRACE("XM 102, 100 (memory), 200 (shared memory)");
    const Player p = Xm({{kC4, 1, 0, 1, 0x02}, {0, 0, 0, 1, 0x00}, {0, 0, 0, 2, 0x00}});
    std::vector<int> expected;
    int period = Linear(48);
    for (int tick = 0; tick < 18; ++tick) {
      period += (tick < 12 ? -1 : 1) * 8 * kScale;
      expected.push_back(period);
    }
    EXPECT_EQ(Track(p.get(), 18, &ModChannel::period), expected);
  }
  {
    SCOPED_TRACE("MOD 102 then 100: the memory is loaded with 0");
    const Player p = Mod({{1, 428, 1, 0x02}, {0, 0, 1, 0x00}});
    std::vector<int> expected;
    for (int tick = 1; tick <= 6; ++tick) expected.push_back(kModC4 - tick * 8 * kScale);
    Repeat(expected, 6, kModC4 - 6 * 8 * kScale);
    EXPECT_EQ(Track(p.get(), 12, &ModChannel::period), expected);
  }
  {
    SCOPED_TRACE("XM fine E12, E10, E22 and extra fine X13, X10, X22: once, on the first tick");
    const Player p = Xm({{kC4, 1, 0, 0xE, 0x12},
                         {0, 0, 0, 0xE, 0x10},
                         {0, 0, 0, 0xE, 0x22},
                         {0, 0, 0, kX, 0x13},
                         {0, 0, 0, kX, 0x10},
                         {0, 0, 0, kX, 0x22}});
    std::vector<int> expected;
    for (int units : {-8, -16, -8, -11, -14, -12}) Repeat(expected, 6, Linear(48) + units * 4096);
    EXPECT_EQ(Track(p.get(), 36, &ModChannel::period), expected);
  }
  {
    SCOPED_TRACE("MOD E12 then E10: the memory is loaded with 0");
    const Player p = Mod({{1, 428, 0xE, 0x12}, {0, 0, 0xE, 0x10}});
    std::vector<int> expected;
    Repeat(expected, 12, kModC4 - 8 * 4096);
    EXPECT_EQ(Track(p.get(), 12, &ModChannel::period), expected);
  }
}

TEST(TonePortamento, MovesTowardTheNewNoteWithoutRetriggering) {
  const int start = Linear(48), target = Linear(52);
  auto slide = [&](int speed, int ticks) {
    std::vector<int> periods;
    for (int tick = 1; tick <= ticks; ++tick) periods.push_back(std::max(start - tick * speed * kScale, target));
    return periods;
  };
  {
    SCOPED_TRACE("310 (speed 0x10 × 4), then 300 keeps the speed and the target");
    const Player p = Xm({{kC4, 1}, {kE4, 1, 0, 3, 0x10}, {0, 0, 0, 3, 0x00}});
    std::vector<int> expected;
    Repeat(expected, 6, start);
    const std::vector<int> moving = slide(64, 6);
    expected.insert(expected.end(), moving.begin(), moving.end());
    Repeat(expected, 6, target);
    std::vector<int> restarted;
    const std::vector<int> periods = Track(p.get(), 18, [&](const ModPlayer& player) {
      const ModChannel& c = player.channel[0];
      restarted.push_back(c.samplePosition == c.step);
      return c.period;
    });
    EXPECT_EQ(periods, expected);
    EXPECT_EQ(restarted[0], 1);
    EXPECT_EQ(restarted[6], 0) << "the new note slides the one playing";
    EXPECT_EQ(p->channel[0].triggeredNote, 48);
  }
  {
    SCOPED_TRACE("volume column F2: speed 2 × 64");
    const Player p = Xm({{kC4, 1}, {kE4, 1, 0xF2, 0, 0}});
    Track(p.get(), 6, &ModChannel::period);
    EXPECT_EQ(Track(p.get(), 6, &ModChannel::period), slide(128, 6));
  }
  {
    SCOPED_TRACE("502: the portamento goes on at its speed while the volume slides down by 2");
    const Player p = Xm({{kC4, 1}, {kE4, 1, 0, 3, 0x08}, {0, 0, 0, 5, 0x02}});
    Track(p.get(), 6, &ModChannel::period);
    std::vector<int> volumes;
    const std::vector<int> periods = Track(p.get(), 12, [&](const ModPlayer& player) {
      volumes.push_back(player.channel[0].volume);
      return player.channel[0].period;
    });
    EXPECT_EQ(periods, slide(32, 12));
    for (int tick = 1; tick <= 6; ++tick) EXPECT_EQ(volumes[5 + tick], kFull - tick * 2 * kScale) << tick;
  }
}

TEST(Vibrato, AddsTheWaveformToTheFinalPeriod) {
  // Speed 4 advances the position by 4 × 3413 a tick; depth 8 scales the
  // waveform by 256 × 8.
  auto vibrato = [](int (*wave)(int), int firstTick, int ticks) {
    std::vector<int> periods;
    for (int tick = firstTick; tick < firstTick + ticks; ++tick) {
      periods.push_back(Linear(48) + wave(tick * 4 * kScale / 4096) * 256 * 8);
    }
    return periods;
  };
  {
    SCOPED_TRACE("448: sine");
    const Player p = Xm({{kC4, 1, 0, 4, 0x48}});
    std::vector<int> current;
    EXPECT_EQ(Track(p.get(), 6,
                    [&](const ModPlayer& player) {
                      current.push_back(player.channel[0].period);
                      return player.channel[0].finalPeriod;
                    }),
              vibrato(Sine, 0, 6));
    EXPECT_EQ(current, std::vector<int>(6, Linear(48))) << "the slide period stays";
  }
  {
    SCOPED_TRACE("volume column A4 then B8: speed, then depth; the position runs on");
    const Player p = Xm({{kC4, 1, 0xA4}, {0, 0, 0xB8}});
    EXPECT_EQ(Track(p.get(), 6, &ModChannel::finalPeriod), std::vector<int>(6, Linear(48)));
    EXPECT_EQ(Track(p.get(), 6, &ModChannel::finalPeriod), vibrato(Sine, 6, 6));
  }
  {
    SCOPED_TRACE("601: vibrato goes on while the volume slides down by 1");
    const Player p = Xm({{kC4, 1, 0, 4, 0x48}, {0, 0, 0, 6, 0x01}});
    Track(p.get(), 6, &ModChannel::finalPeriod);
    std::vector<int> volumes;
    EXPECT_EQ(Track(p.get(), 6,
                    [&](const ModPlayer& player) {
                      volumes.push_back(player.channel[0].volume);
                      return player.channel[0].finalPeriod;
                    }),
              vibrato(Sine, 6, 6));
    for (int tick = 1; tick <= 6; ++tick) EXPECT_EQ(volumes[tick - 1], kFull - tick * kScale);
  }
  {
    SCOPED_TRACE("E41 ramp, then E42 square: the waveform changes, the position stays");
    const Player p = Xm({{kC4, 1, 0, 0xE, 0x41}, {0, 0, 0, 4, 0x48}, {0, 0, 0, 0xE, 0x42}, {0, 0, 0, 4, 0x00}});
    Track(p.get(), 6, &ModChannel::finalPeriod);
    EXPECT_EQ(Track(p.get(), 6, &ModChannel::finalPeriod), vibrato(FallingRamp, 0, 6));
    EXPECT_EQ(Track(p.get(), 6, &ModChannel::finalPeriod), std::vector<int>(6, Linear(48)));
    EXPECT_EQ(Track(p.get(), 6, &ModChannel::finalPeriod), vibrato(Square, 6, 6));
  }
  for (const int waveform : {0x40, 0x44}) {
    SCOPED_TRACE(waveform == 0x44 ? "E44: a new note keeps the position" : "E40: a new note restarts it");
    const Player p = Xm({{kC4, 1, 0, 0xE, static_cast<uint8_t>(waveform)}, {0, 0, 0, 4, 0x48}, {kC4, 1, 0, 4, 0x00}});
    Track(p.get(), 12, &ModChannel::finalPeriod);
    EXPECT_EQ(Track(p.get(), 6, &ModChannel::finalPeriod), vibrato(Sine, waveform == 0x44 ? 6 : 0, 6));
  }
  {
    SCOPED_TRACE("E31 glissando: the final period snaps to the nearest semitone of the slide");
    const Player p = Xm({{kC4, 1, 0, 0xE, 0x31}, {0, 0, 0, 1, 0x10}});
    Track(p.get(), 6, &ModChannel::finalPeriod);
    std::vector<int> expected;
    for (int tick = 7; tick <= 12; ++tick) {
      const int period = Linear(48) - (tick - 6) * 64 * kScale;
      expected.push_back(Linear((0x1E20000 - period) / 0x40000));
    }
    EXPECT_EQ(Track(p.get(), 6, &ModChannel::finalPeriod), expected);
    EXPECT_EQ(expected.front(), Linear(49)) << "0.83 semitone up rounds to the next note";
  }
}

TEST(Tremolo, AddsTheWaveformToTheFinalVolume) {
  auto tremolo = [](int (*wave)(int), int firstTick, int factor) {
    std::vector<int> volumes;
    for (int tick = firstTick; tick < firstTick + 6; ++tick) {
      const int v = std::clamp(0x20000 + wave(tick * 4 * kScale / 4096) * 8 * factor, 0, kFull);
      volumes.push_back(FinalVolume(kFull, v));
    }
    return volumes;
  };
  {
    SCOPED_TRACE("XM 748 at volume 32: sine × depth × 128");
    const Player p = Xm({{kC4, 1, 0x30, 7, 0x48}});
    std::vector<int> volume;
    EXPECT_EQ(Track(p.get(), 6,
                    [&](const ModPlayer& player) {
                      volume.push_back(player.channel[0].volume);
                      return player.channel[0].finalVolume;
                    }),
              tremolo(Sine, 0, 128));
    EXPECT_EQ(volume, std::vector<int>(6, 0x20000));
  }
  {
    SCOPED_TRACE("XM E72 square");
    const Player p = Xm({{kC4, 1, 0x30, 0xE, 0x72}, {0, 0, 0, 7, 0x48}});
    Track(p.get(), 6, &ModChannel::finalVolume);
    EXPECT_EQ(Track(p.get(), 6, &ModChannel::finalVolume), tremolo(Square, 0, 128));
  }
  {
    SCOPED_TRACE("MOD 748 at sample volume 32: sine × depth × 64");
    const Player p = Mod({{1, 428, 7, 0x48}}, 32);
    EXPECT_EQ(Track(p.get(), 6, &ModChannel::finalVolume), tremolo(Sine, 0, 64));
  }
}

TEST(Tremor, MutesAfterTheOnTicksForTheOffTicks) {
  // T12: 2 ticks on, 3 off, counted on the ticks after the first; T00 keeps
  // the counter, and the first tick keeps the state the last one left.
  const Player p = Xm({{kC4, 1, 0, kT, 0x12}, {0, 0, 0, kT, 0x00}, {}});
  const std::vector<int> expected = {kFull, kFull, kFull, 0, 0, 0,  0,     kFull, kFull,
                                     0,     0,     0,     kFull, kFull, kFull, kFull, kFull, kFull};
  EXPECT_EQ(Track(p.get(), 18, &ModChannel::finalVolume), expected);
}

TEST(Panning, CommandsSlidesAndSurround) {
  {
    SCOPED_TRACE("XM 840, volume column C4, E8C, D2, D0 (memory), E1, P03, P00 (memory), P20");
    const Player p = Xm({{kC4, 1, 0, 8, 0x40},
                         {0, 0, 0xC4},
                         {0, 0, 0, 0xE, 0x8C},
                         {0, 0, 0xD2},
                         {0, 0, 0xD0},
                         {0, 0, 0xE1},
                         {0, 0, 0, kP, 0x03},
                         {0, 0, 0, kP, 0x00},
                         {0, 0, 0, kP, 0x20}});
    std::vector<int> expected;
    Repeat(expected, 6, 0x40 * 4096);
    Repeat(expected, 6, 68 * 4096);
    Repeat(expected, 6, 204 * 4096);
    int panning = 204 * 4096;
    for (int step : {-8, -8, 4, -12, -12, 8}) {
      for (int tick = 0; tick < 6; ++tick) expected.push_back(panning += step * kScale);
    }
    std::vector<int> right, left;
    EXPECT_EQ(Track(p.get(), 54,
                    [&](const ModPlayer& player) {
                      right.push_back(player.channel[0].rightLevel);
                      left.push_back(player.channel[0].leftLevel);
                      return player.channel[0].panning;
                    }),
              expected);
    const int rightLevel = (FinalPanning(0x40 * 4096) >> 12) * kFull >> 8;
    EXPECT_EQ(right[0], rightLevel);
    EXPECT_EQ(left[0], kFull - rightLevel);
  }
  {
    SCOPED_TRACE("MOD 840, 8A4 (centre, surround), 890 (surround off, panning kept)");
    const Player p = Mod({{1, 428, 8, 0x40}, {0, 0, 8, 0xA4}, {0, 0, 8, 0x90}});
    NextTick(p.get());
    EXPECT_EQ(p->channel[0].panning, 0x40 * 0x1FE0);
    for (int tick = 0; tick < 6; ++tick) NextTick(p.get());
    EXPECT_EQ(p->channel[0].panning, 0x7F800);
    EXPECT_EQ(p->channel[0].surround, 1);
    EXPECT_EQ(p->channel[0].rightLevel, 128 * kFull >> 8);
    EXPECT_EQ(p->channel[0].leftLevel, -(kFull - (128 * kFull >> 8)));
    for (int tick = 0; tick < 6; ++tick) NextTick(p.get());
    EXPECT_EQ(p->channel[0].panning, 0x7F800);
    EXPECT_EQ(p->channel[0].surround, 0);
    EXPECT_GT(p->channel[0].leftLevel, 0);
  }
  {
    SCOPED_TRACE("XM X91 (centre, surround), X90 (surround off)");
    const Player p = Xm({{kC4, 1, 0, kX, 0x91}, {0, 0, 0, kX, 0x90}});
    EXPECT_EQ(Track(p.get(), 12, &ModChannel::surround), (std::vector<int>{1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(p->channel[0].panning, 0x7F800);
  }
}

TEST(Panning, PanbrelloSwingsTheFinalPanning) {
  // Y48: speed 4, depth 8; the position advances by the speed each tick and
  // reads the waveform at (position + 16) ÷ 4. X52 picks the square.
  const Player p = Xm({{kC4, 1, 0, kY, 0x48}, {0, 0, 0, kX, 0x52}, {0, 0, 0, kY, 0x00}});
  const int centre = FinalPanning(kCentre);
  std::vector<int> expected;
  for (int tick = 0; tick < 6; ++tick) expected.push_back(centre + ((Sine((4 * tick + 16) / 4) * 8 + 2) >> 3) * 4096);
  Repeat(expected, 6, centre);
  Repeat(expected, 6, centre + ((127 * 8 + 2) >> 3) * 4096);
  EXPECT_EQ(Track(p.get(), 18, &ModChannel::finalPanning), expected);
}

TEST(Panning, EnvelopeHoldsAtItsSustainPointUntilKeyOff) {
  XmInstrument instrument = test::SquareInstrument();
  instrument.panningEnvelope = {{0, 0}, {4, 64}, {8, 32}};
  instrument.panningType = kEnvelopeOn | kEnvelopeSustain;
  instrument.panningSustain = 1;
  instrument.volumeEnvelope = {{0, 64}, {100, 64}};  // so that the key off holds
  instrument.volumeType = kEnvelopeOn;
  // Row 1 pans left of the centre (the other half of the formula).
  const Player p = Xm({{kC4, 1}, {0, 0, 0, 8, 0x40}, {kKeyOff}}, instrument);
  auto table = [](int position) {
    if (position < 4) return position * 64 / 4;
    if (position < 8) return 64 + (position - 4) * -32 / 4;
    return 32;
  };
  auto pan = [](int p, int e) {
    p += p < 0x80000 ? (e - 32) * p / 32 : (0x100000 - p) * (e - 32) / 32;
    return std::clamp(p, 0, 0x100000);
  };
  const std::vector<int> positions = {0, 1, 2, 3, 4, 4, 4, 4, 4, 4, 4, 4, 4, 5, 6, 7, 8, 9};
  std::vector<int> expected;
  for (std::size_t tick = 0; tick < positions.size(); ++tick) {
    expected.push_back(pan(FinalPanning(tick < 6 ? kCentre : 0x40 * 4096), table(positions[tick])));
  }
  EXPECT_EQ(Track(p.get(), 18, &ModChannel::finalPanning), expected);
}

TEST(Volume, ColumnSlidesAndFineSlidesShareTheColumnMemory) {
  // 62, 60 (memory 2), 71, 82, 80 (memory 2), 93.
  const Player p = Xm({{kC4, 1, 0x62}, {0, 0, 0x60}, {0, 0, 0x71}, {0, 0, 0x82}, {0, 0, 0x80}, {0, 0, 0x93}});
  std::vector<int> expected;
  int volume = kFull;
  for (int step : {-2, -2, 1}) {
    for (int tick = 0; tick < 6; ++tick) expected.push_back(volume += step * kScale);
  }
  for (int fine : {-2, -2, 3}) Repeat(expected, 6, volume += fine * 4096);
  EXPECT_EQ(Track(p.get(), 36, &ModChannel::volume), expected);
}

TEST(Volume, EffectsAndTheirMemories) {
  {
    SCOPED_TRACE("C20, then C50 limited to 64");
    const Player p = Xm({{kC4, 1, 0, 0xC, 0x20}, {0, 0, 0, 0xC, 0x50}});
    std::vector<int> expected;
    Repeat(expected, 6, 0x20000);
    Repeat(expected, 6, kFull);
    EXPECT_EQ(Track(p.get(), 12, &ModChannel::volume), expected);
  }
  {
    SCOPED_TRACE("XM A04, A00 (memory), A20");
    const Player p = Xm({{kC4, 1, 0, 0xA, 0x04}, {0, 0, 0, 0xA, 0x00}, {0, 0, 0, 0xA, 0x20}});
    std::vector<int> expected;
    int volume = kFull;
    for (int step : {-4, -4, 2}) {
      for (int tick = 0; tick < 6; ++tick) expected.push_back(volume += step * kScale);
    }
    EXPECT_EQ(Track(p.get(), 18, &ModChannel::volume), expected);
  }
  {
    SCOPED_TRACE("MOD A04, then A00 loads the memory with 0");
    const Player p = Mod({{1, 428, 0xA, 0x04}, {0, 0, 0xA, 0x00}});
    Track(p.get(), 6, &ModChannel::volume);
    EXPECT_EQ(Track(p.get(), 6, &ModChannel::volume), std::vector<int>(6, kFull - 24 * kScale));
  }
  {
    SCOPED_TRACE("XM EA2, EA0 (memory), EB1, EB0 (memory) from volume 16");
    const Player p =
        Xm({{kC4, 1, 0x20, 0xE, 0xA2}, {0, 0, 0, 0xE, 0xA0}, {0, 0, 0, 0xE, 0xB1}, {0, 0, 0, 0xE, 0xB0}});
    std::vector<int> expected;
    for (int volume : {18, 20, 19, 18}) Repeat(expected, 6, volume * 4096);
    EXPECT_EQ(Track(p.get(), 24, &ModChannel::volume), expected);
  }
  {
    SCOPED_TRACE("MOD EA2, then EA0 loads the memory with 0");
    const Player p = Mod({{1, 428, 0xE, 0xA2}, {0, 0, 0xE, 0xA0}}, 32);
    std::vector<int> expected;
    Repeat(expected, 12, 34 * 4096);
    EXPECT_EQ(Track(p.get(), 12, &ModChannel::volume), expected);
  }
  {
    SCOPED_TRACE("EC3 cuts on tick 3");
    const Player p = Xm({{kC4, 1, 0, 0xE, 0xC3}});
    EXPECT_EQ(Track(p.get(), 6, &ModChannel::volume), (std::vector<int>{kFull, kFull, kFull, 0, 0, 0}));
  }
}

TEST(Volume, GlobalVolumeAndItsSlide) {
  // G30, H04, H00 (memory), H20.
  const Player p = Xm({{kC4, 1, 0, kG, 0x30}, {0, 0, 0, kH, 0x04}, {0, 0, 0, kH, 0x00}, {0, 0, 0, kH, 0x20}});
  std::vector<int> globals, finals;
  Repeat(globals, 6, 0x30 * 4096);
  int global = 0x30 * 4096;
  for (int step : {-4, -4, 2}) {
    for (int tick = 0; tick < 6; ++tick) globals.push_back(global += step * kScale);
  }
  for (int g : globals) finals.push_back(FinalVolume(g, kFull));
  std::vector<int> final;
  EXPECT_EQ(Track(p.get(), 24,
                  [&](const ModPlayer& player) {
                    final.push_back(player.channel[0].finalVolume);
                    return player.globalVolume;
                  }),
            globals);
  EXPECT_EQ(final, finals);
}

TEST(Volume, MultiRetriggerRestartsTheSampleAndChangesTheVolume) {
  auto run = [](uint8_t parameter, std::vector<int>& restarted) {
    const Player p = Xm({{kC4, 1, 0, kR, parameter}});
    return Track(p.get(), 6, [&](const ModPlayer& player) {
      restarted.push_back(player.channel[0].samplePosition == player.channel[0].step);
      return player.channel[0].volume;
    });
  };
  {
    SCOPED_TRACE("R02: every second tick, volume − 1");
    std::vector<int> restarted;
    EXPECT_EQ(run(0x02, restarted), (std::vector<int>{kFull, kFull, 63 * 4096, 63 * 4096, 62 * 4096, 62 * 4096}));
    EXPECT_EQ(restarted, (std::vector<int>{1, 0, 1, 0, 1, 0}));
  }
  {
    SCOPED_TRACE("R61: every tick after the first, volume × 10 ÷ 16");
    std::vector<int> restarted;
    std::vector<int> expected = {kFull};
    for (int tick = 1; tick < 6; ++tick) expected.push_back(expected.back() * 10 / 16);
    EXPECT_EQ(run(0x61, restarted), expected);
    EXPECT_EQ(restarted, std::vector<int>(6, 1));
  }
}

TEST(RowTiming, NoteDelayPatternDelayAndFinePatternDelay) {
  {
    SCOPED_TRACE("ED3: nothing of the cell happens before tick 3");
    const Player p = Xm({{kC4, 1}, {kE4, 1, 0x62, 0xE, 0xD3}});
    Track(p.get(), 6, &ModChannel::note);
    std::vector<int> volumes, restarted;
    EXPECT_EQ(Track(p.get(), 6,
                    [&](const ModPlayer& player) {
                      const ModChannel& c = player.channel[0];
                      volumes.push_back(c.volume);
                      restarted.push_back(c.samplePosition == c.step);
                      return c.note;
                    }),
              (std::vector<int>{48, 48, 48, 52, 52, 52}));
    EXPECT_EQ(volumes, (std::vector<int>{kFull, kFull, kFull, kFull - 2 * kScale, kFull - 4 * kScale, kFull - 6 * kScale}));
    EXPECT_EQ(restarted, (std::vector<int>{0, 0, 0, 1, 0, 0}));
  }
  {
    SCOPED_TRACE("EE2: the row lasts 3 × 6 ticks and its cell is taken once");
    const Player p = Xm({{kC4, 1, 0, 0xE, 0xE2}});
    std::vector<int> restarted;
    std::vector<int> rows = Track(p.get(), 19, [&](const ModPlayer& player) {
      restarted.push_back(player.channel[0].samplePosition == player.channel[0].step);
      return player.row;
    });
    std::vector<int> expected(17, 0);
    Repeat(expected, 2, 1);
    EXPECT_EQ(rows, expected);
    EXPECT_EQ(std::count(restarted.begin(), restarted.end(), 1), 1);
  }
  {
    SCOPED_TRACE("X62: the row lasts 6 + 2 ticks");
    const Player p = Xm({{kC4, 1, 0, kX, 0x62}});
    std::vector<int> expected(7, 0);
    expected.push_back(1);
    EXPECT_EQ(Track(p.get(), 8, [](const ModPlayer& player) { return player.row; }), expected);
  }
}

TEST(RowTiming, PatternLoopRepeatsItsRowsTheGivenNumberOfTimes) {
  // E60 on row 1, E62 on row 2: rows 0, 1, 2, 1, 2, 1, 2, 3, 4.
  const Player p = Xm({{kC4, 1}, {0, 0, 0, 0xE, 0x60}, {0, 0, 0, 0xE, 0x62}});
  std::vector<int> next;
  for (int row = 0; row < 8; ++row) {
    const std::vector<int> rows = Track(p.get(), 6, [](const ModPlayer& player) { return player.row; });
    next.push_back(rows.back());
  }
  EXPECT_EQ(next, (std::vector<int>{1, 2, 1, 2, 1, 2, 3, 4}));
  EXPECT_EQ(p->order, 0);
}

TEST(Retrigger, RestartsTheSampleOnEveryXthTick) {
  XmInstrument instrument = test::SquareInstrument();
  instrument.volumeEnvelope = {{0, 64}, {10, 0}};
  instrument.volumeType = kEnvelopeOn;
  for (const auto& [parameter, expected] : {std::pair{0x93, std::vector<int>{1, 0, 0, 1, 0, 0}},
                                            std::pair{0x92, std::vector<int>{1, 0, 1, 0, 1, 0}},
                                            std::pair{0x90, std::vector<int>{1, 1, 1, 1, 1, 1}}}) {
    SCOPED_TRACE(parameter);
    const Player p = Xm({{kC4, 1, 0, 0xE, static_cast<uint8_t>(parameter)}}, instrument);
    std::vector<int> envelope;
    EXPECT_EQ(Track(p.get(), 6,
                    [&](const ModPlayer& player) {
                      envelope.push_back(player.channel[0].volumeEnvelopePosition);
                      return static_cast<int>(player.channel[0].samplePosition == player.channel[0].step);
                    }),
              expected);
    // The envelope starts again with the sample (its position after the tick).
    for (std::size_t tick = 1; tick < 6; ++tick) {
      EXPECT_EQ(envelope[tick], expected[tick] ? 1 : envelope[tick - 1] + 1) << tick;
    }
  }
}

TEST(Retrigger, WithAnInstrumentTakesItsSampleForTheRowsNote) {
  XmInstrument instrument = test::SquareInstrument();
  instrument.noteSamples[50] = 16;  // note 50 has no sample
  {
    SCOPED_TRACE("a note the instrument maps to no sample: silent");
    const Player p = Xm({{kC4, 1}, {51, 1, 0, 0xE, 0x92}}, instrument);
    Track(p.get(), 6, &ModChannel::note);
    EXPECT_EQ(Track(p.get(), 6, [](const ModPlayer& player) { return player.channel[0].sample == nullptr; }),
              std::vector<int>(6, 1));
  }
  {
    SCOPED_TRACE("an instrument without a note: the sample playing restarts");
    const Player p = Xm({{kC4, 1}, {0, 1, 0, 0xE, 0x92}}, instrument);
    Track(p.get(), 6, &ModChannel::note);
    const ModSample* playing = p->channel[0].sample;
    ASSERT_NE(playing, nullptr);
    EXPECT_EQ(Track(p.get(), 6,
                    [&](const ModPlayer& player) {
                      const ModChannel& c = player.channel[0];
                      EXPECT_EQ(c.sample, playing);
                      return static_cast<int>(c.samplePosition == c.step);
                    }),
              (std::vector<int>{0, 0, 1, 0, 1, 0}));
  }
}

TEST(KeyOffAndEnvelopes, KeyOffCommandAndTheVolumeEnvelope) {
  {
    SCOPED_TRACE("K00 without a volume envelope: silent at once");
    const Player p = Xm({{kC4, 1}, {0, 0, 0, kK, 0x00}});
    Track(p.get(), 6, &ModChannel::finalVolume);
    NextTick(p.get());
    EXPECT_EQ(p->channel[0].finalVolume, 0);
    EXPECT_EQ(p->channel[0].volume, 0);
    EXPECT_EQ(p->channel[0].keyOff, 0);
  }
  XmInstrument sustained = test::SquareInstrument();
  sustained.volumeEnvelope = {{0, 64}, {4, 32}, {8, 0}};
  sustained.volumeType = kEnvelopeOn | kEnvelopeSustain;
  sustained.volumeSustain = 1;
  sustained.fadeout = 0x400;
  {
    SCOPED_TRACE("sustain at point 1 until the key off, then fade-out by 0x800 a tick");
    const Player p = Xm({{kC4, 1}, {}, {kKeyOff}}, sustained);
    std::vector<int> expected;
    for (int value : {64, 56, 48, 40, 32, 32}) expected.push_back(value * 4096);
    Repeat(expected, 6, 32 * 4096);
    // Fade-out 0xF800, 0xF000, …: (fade >> 8) × 0x40000 >> 8, then × envelope >> 6.
    const int envelope[6] = {32, 24, 16, 8, 0, 0};
    for (int tick = 0; tick < 6; ++tick) {
      const int v = ((0x10000 - 0x800 * (tick + 1)) >> 8) * kFull >> 8;
      expected.push_back(FinalVolume(kFull, envelope[tick] * v >> 6));
    }
    EXPECT_EQ(Track(p.get(), 18, &ModChannel::finalVolume), expected);
    EXPECT_EQ(expected[12], 126976);
  }
  {
    SCOPED_TRACE("K00 with the envelope: the fade-out runs");
    const Player p = Xm({{kC4, 1}, {0, 0, 0, kK, 0x00}}, sustained);
    Track(p.get(), 6, &ModChannel::fadeoutVolume);
    EXPECT_EQ(Track(p.get(), 3, &ModChannel::fadeoutVolume), (std::vector<int>{0xF800, 0xF000, 0xE800}));
  }
  {
    SCOPED_TRACE("loop from point 0 to point 2: positions 0 … 3 again and again");
    XmInstrument looped = test::SquareInstrument();
    looped.volumeEnvelope = {{0, 64}, {2, 0}, {4, 64}};
    looped.volumeType = kEnvelopeOn | kEnvelopeLoop;
    looped.volumeLoopStart = 0;
    looped.volumeLoopEnd = 2;
    const Player p = Xm({{kC4, 1}}, looped);
    std::vector<int> expected;
    for (int round = 0; round < 3; ++round) {
      for (int value : {64, 32, 0, 32}) expected.push_back(value * 4096);
    }
    EXPECT_EQ(Track(p.get(), 12, &ModChannel::finalVolume), expected);
  }
  {
    SCOPED_TRACE("L05 sets the envelope position");
    XmInstrument falling = test::SquareInstrument();
    falling.volumeEnvelope = {{0, 64}, {10, 0}};
    falling.volumeType = kEnvelopeOn;
    const Player p = Xm({{kC4, 1}, {0, 0, 0, kL, 0x05}}, falling);
    std::vector<int> expected;
    for (int position : {0, 1, 2, 3, 4, 5, 5, 6, 7, 8, 9, 10}) {
      expected.push_back(FinalVolume(kFull, (64 + position * -64 / 10) * kFull >> 6));
    }
    EXPECT_EQ(Track(p.get(), 12, &ModChannel::finalVolume), expected);
  }
}

TEST(AutoVibrato, SweepsInAndFollowsItsType) {
  auto instrument = [](int type, int sweep) {
    XmInstrument i = test::SquareInstrument();
    i.vibratoType = type;
    i.vibratoSweep = sweep;
    i.vibratoDepth = 8;
    i.vibratoRate = 16;
    i.volumeEnvelope = {{0, 64}, {100, 64}};  // so that a key off holds
    i.volumeType = kEnvelopeOn;
    return i;
  };
  {
    SCOPED_TRACE("type 0 (negated sine), sweep 4: the amplitude grows by 8 × 4096 ÷ 4 a tick");
    const Player p = Xm({{kC4, 1}}, instrument(0, 4));
    std::vector<int> expected;
    for (int tick = 1; tick <= 6; ++tick) {
      const int64_t amplitude = std::min(tick * 8192, 32768);
      expected.push_back(Linear(48) + static_cast<int>(-Sine(16 * tick / 4) * amplitude >> 7));
    }
    EXPECT_EQ(Track(p.get(), 6, &ModChannel::finalPeriod), expected);
  }
  {
    SCOPED_TRACE("sweep 64: the key off stops the amplitude where it is");
    const Player p = Xm({{kC4, 1}, {kKeyOff}}, instrument(0, 64));
    std::vector<int> expected;
    for (int tick = 1; tick <= 6; ++tick) expected.push_back(512 * tick);
    Repeat(expected, 6, 3072);
    EXPECT_EQ(Track(p.get(), 12, &ModChannel::autoVibratoAmplitude), expected);
  }
  // Without a sweep the full amplitude 8 × 4096 acts at once: W × 256.
  for (const auto& [type, wave] : {std::pair{1, -127}, std::pair{2, 16}, std::pair{3, -16}, std::pair{7, -49}}) {
    SCOPED_TRACE(type);
    const Player p = Xm({{kC4, 1}}, instrument(type, 0));
    NextTick(p.get());
    EXPECT_EQ(p->channel[0].finalPeriod, Linear(48) + wave * 256);
  }
}

TEST(SampleOffset, HighOffsetAndMemory) {
  test::XmSample sample;
  sample.values.assign(1000, 20);
  sample.loopType = 1;
  sample.loopStart = 500;
  sample.loopLength = 500;
  XmInstrument instrument;
  instrument.samples = {sample};
  // XA1 then 902: offset (1 × 256 + 2) × 256 = 66048, beyond the sample:
  // (66048 − 500) mod 500 + 500 = 548. Then 900 with a note uses the memory
  // (548 again), and 903 without a note does nothing.
  const Player p = Xm({{0, 0, 0, kX, 0xA1}, {kC4, 1, 0, 9, 0x02}, {kC4, 1, 0, 9, 0x00}, {0, 0, 0, 9, 0x03}},
                      instrument);
  Track(p.get(), 6, &ModChannel::note);
  NextTick(p.get());
  EXPECT_EQ(p->channel[0].samplePosition, (548u << 12) + p->channel[0].step);
  Track(p.get(), 5, &ModChannel::note);
  NextTick(p.get());
  EXPECT_EQ(p->channel[0].samplePosition, (548u << 12) + p->channel[0].step);
  Track(p.get(), 5, &ModChannel::note);
  // The mixer brings a position back into the loop only when it reads there.
  auto inLoop = [](uint64_t position) {
    const uint64_t start = 500u << 12, loop = 500u << 12;
    return position < start ? position : start + (position - start) % loop;
  };
  const uint64_t before = p->channel[0].samplePosition;
  const int frames = p->samplesLeft;
  NextTick(p.get());
  EXPECT_EQ(inLoop(p->channel[0].samplePosition), inLoop(before + static_cast<uint64_t>(frames + 1) * p->channel[0].step));
}

TEST(SetFinetune, RecomputesTheModPeriodFromTheFineTable) {
  // Note 48 at finetune 16 × x: 2 × 16 × table[8 + x] shifted left by 12 − 4.
  const Player p = Mod({{1, 428, 0xE, 0x51}, {0, 0, 0xE, 0x5F}});
  std::vector<int> expected;
  Repeat(expected, 6, 32 * 850 << 8);
  Repeat(expected, 6, 32 * 862 << 8);
  EXPECT_EQ(Track(p.get(), 12, &ModChannel::period), expected);
  const Player xm = Xm({{kC4, 1, 0, 0xE, 0x51}});
  NextTick(xm.get());
  EXPECT_EQ(xm->channel[0].period, Linear(48)) << "XM ignores it";
}

// The PCM of the first tick of a note: positions i × step from 0, linear
// interpolation, each side × gain >> 12.
TEST(Mixer, EightAndSixteenBitSamplesInterpolateLinearly) {
  struct Case {
    const char* name;
    bool wide;
    int scale;  // sample value of index i: i × scale
    uint8_t panningEffect;
    int leftGain, rightGain;
  };
  // Centre: levels 0x40000 − 128 × 0x40000 >> 8 each, gain (level >> 6) × 4096 >> 12 = 2048.
  for (const Case& c : {Case{"8-bit centre", false, 1, 0, 2048, 2048}, Case{"16-bit centre", true, 100, 0, 2048, 2048},
                        Case{"16-bit left (800)", true, 100, 8, 4096, 0}}) {
    SCOPED_TRACE(c.name);
    test::XmSample sample;
    // 8-bit values stop at 127; the mixer reads them × 256.
    auto value = [&](int index) { return c.wide ? index * c.scale : std::min(index, 127) * 256; };
    for (int i = 0; i < 256; ++i) sample.values.push_back(c.wide ? value(i) : value(i) / 256);
    sample.wide = c.wide;
    sample.loopType = 1;
    sample.loopLength = 256;
    XmInstrument instrument;
    instrument.samples = {sample};
    const Player p = Xm({{kC4, 1, 0, c.panningEffect, 0}}, instrument);
    std::vector<int16_t> pcm(2 * 882);
    ModRender(p.get(), pcm.data(), 882);
    // 8363 Hz at 44100 Hz: step 8363 × 4096 ÷ 44100 = 776.7, truncated.
    ASSERT_EQ(p->channel[0].step, 776u);
    for (int i = 0; i < 882; ++i) {
      const int position = i * 776;
      const int index = position >> 12, fraction = position & 0xFFF;
      const int s0 = value(index), s1 = value(index + 1);
      const int mixed = s0 + ((s1 - s0) * fraction >> 12);
      ASSERT_EQ(pcm[2 * i], mixed * c.leftGain >> 12) << i;
      ASSERT_EQ(pcm[2 * i + 1], mixed * c.rightGain >> 12) << i;
    }
  }
}

}  // namespace
}  // namespace qorve
