// The engine's output, sample for sample: whole songs rendered to 16-bit PCM
// and compared by an FNV-1a hash with the values this engine produced when
// they were recorded. Any change to mixing, interpolation, declicking, gain or
// sequencing that alters one sample fails here; an intended change of sound
// records new values.
#include "module_images.h"
#include "player/module/mod_player.h"
#include "support/shared_media.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace qorve {
namespace {

using test::Cell;
using test::XmInstrument;
using test::XmSample;

struct Rendered {
  uint64_t hash = 0;
  int64_t frames = 0;
};

// Renders the song once through (no loop), at most `maxSeconds`, in pieces of
// uneven size so that calls end inside ticks and mix blocks.
Rendered RenderHash(const std::vector<uint8_t>& image, int maxSeconds) {
  const test::Player p = test::LoadImage(image);
  ModSetLoop(p.get(), 0);
  ModSetRate(p.get(), 44100);
  uint64_t hash = 14695981039346656037ull;
  int64_t frames = 0;
  std::vector<int16_t> pcm(2 * 4096);
  const int64_t limit = static_cast<int64_t>(maxSeconds) * 44100;
  static constexpr int kPieces[] = {4096, 1000, 441, 3001, 17};
  for (int piece = 0; frames < limit && !p->ended; ++piece) {
    const int want = kPieces[piece % 5];
    std::fill(pcm.begin(), pcm.end(), 0);
    ModRender(p.get(), pcm.data(), want);
    // A render that reaches the song's end leaves the rest of the buffer zero.
    for (int i = 0; i < 2 * want; ++i) {
      const auto value = static_cast<uint16_t>(pcm[i]);
      for (uint8_t byte : {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)}) {
        hash ^= byte;
        hash *= 1099511628211ull;
      }
    }
    frames += want;
  }
  return {hash, frames};
}

std::vector<uint8_t> ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), {});
}

// A pseudo-random sequence that is the same on every machine.
struct Lcg {
  uint32_t state;
  int Next(int range) {
    state = state * 1664525u + 1013904223u;
    return static_cast<int>((state >> 8) % static_cast<uint32_t>(range));
  }
};

// Eight channels over every kind of sample the mixer handles (8 and 16 bits,
// forward, ping-pong and no loop, one shorter than a step), at notes from
// far below to far above the sample rate, with panning hard to either side,
// silent notes, slides, vibrato, offsets and key-offs.
std::vector<uint8_t> MixerWorkout() {
  Lcg random{12345};
  auto noise = [&](int length, int amplitude) {
    std::vector<int> values;
    for (int i = 0; i < length; ++i) values.push_back(random.Next(2 * amplitude + 1) - amplitude);
    return values;
  };
  XmSample square = test::LoopedSquare(64, 90);
  XmSample wideLoop;
  wideLoop.values = noise(700, 30000);
  wideLoop.wide = true;
  wideLoop.loopType = 1;
  wideLoop.loopStart = 100;
  wideLoop.loopLength = 600;
  XmSample pingPong;
  pingPong.values = noise(300, 120);
  pingPong.loopType = 2;
  pingPong.loopStart = 50;
  pingPong.loopLength = 250;
  XmSample wideOnce;
  wideOnce.values = noise(5000, 32000);
  wideOnce.wide = true;
  wideOnce.panning = 20;
  XmSample narrowOnce;
  narrowOnce.values = noise(2000, 127);
  narrowOnce.panning = 240;
  XmSample tiny;
  tiny.values = {100, -100};
  tiny.loopType = 1;
  tiny.loopLength = 1;

  test::XmSong song;
  song.channels = 8;
  song.speed = 5;
  song.tempo = 140;
  for (const XmSample& sample : {square, wideLoop, pingPong, wideOnce, narrowOnce, tiny}) {
    XmInstrument instrument;
    instrument.samples = {sample};
    song.instruments.push_back(instrument);
  }
  song.instruments[1].volumeEnvelope = {{0, 64}, {10, 20}, {30, 50}, {60, 0}};
  song.instruments[1].volumeType = 1 | 2;
  song.instruments[1].fadeout = 800;

  // Effects that keep the song going forward: portamenti, vibrato, tremolo,
  // panning, volume, offsets, retriggers (no jumps, breaks or speed changes).
  static constexpr uint8_t kEffects[] = {0x1, 0x2, 0x3, 0x4, 0x5, 0x6, 0x7, 0x8, 0x9, 0xA, 0xC, 0x0, 27, 25};
  song.orders = {0, 1, 2, 1};
  song.patterns.clear();
  for (int pattern = 0; pattern < 3; ++pattern) {
    test::XmPattern p;
    p.rows = 64;
    for (int cell = 0; cell < p.rows * song.channels; ++cell) {
      Cell c;
      const int roll = random.Next(100);
      if (roll < 35) {
        c.note = static_cast<uint8_t>(1 + random.Next(96));
        c.instrument = static_cast<uint8_t>(1 + random.Next(6));
      } else if (roll < 38) {
        c.note = 97;  // key off
      }
      if (random.Next(3) == 0) c.volume = static_cast<uint8_t>(0x10 + random.Next(0x41));
      if (random.Next(3) == 0) {
        c.effect = kEffects[random.Next(static_cast<int>(sizeof kEffects))];
        c.parameter = static_cast<uint8_t>(random.Next(256));
        if (c.effect == 0xC) c.parameter = static_cast<uint8_t>(random.Next(65));
      }
      p.cells.push_back(c);
    }
    song.patterns.push_back(p);
  }
  return test::BuildXm(song);
}

// A four-channel MOD (hard left and right channels, Amiga periods) with
// looped and unlooped 8-bit samples.
std::vector<uint8_t> AmigaWorkout() {
  Lcg random{777};
  test::ModSong song;
  for (int s = 0; s < 4; ++s) {
    test::ModSampleSpec spec;
    const int length = 200 + 300 * s;
    for (int i = 0; i < length; ++i) spec.data.push_back(static_cast<int8_t>(random.Next(255) - 127));
    if (s % 2 == 0) {
      spec.loopStartWords = 20;
      spec.loopLengthWords = length / 2 - 20;
    }
    spec.finetune = s - 2;
    song.samples.push_back(spec);
  }
  static constexpr int kPeriods[] = {856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453,
                                     428, 404, 381, 360, 339, 320, 302, 285, 269, 254, 240, 226, 214, 113};
  static constexpr int kEffects[] = {0x0, 0x1, 0x2, 0x3, 0x4, 0xA, 0xC, 0x9};
  song.songLength = 2;
  song.orders[0] = 0;
  song.orders[1] = 0;
  song.patterns = {{}};
  for (int i = 0; i < 64 * song.channels; ++i) {
    test::ModNote note;
    if (random.Next(3) == 0) {
      note.sample = 1 + random.Next(4);
      note.period = kPeriods[random.Next(static_cast<int>(std::size(kPeriods)))];
    }
    if (random.Next(3) == 0) {
      note.effect = kEffects[random.Next(static_cast<int>(std::size(kEffects)))];
      note.parameter = note.effect == 0xC ? random.Next(65) : random.Next(256);
    }
    song.patterns[0].push_back(note);
  }
  return test::BuildMod(song);
}

TEST(OutputHash, GeneratedModulesRenderAsRecorded) {
  const Rendered xm = RenderHash(MixerWorkout(), 600);
  EXPECT_EQ(xm.frames, 1009473);
  EXPECT_EQ(xm.hash, 18001804452966399112ull);
  const Rendered mod = RenderHash(AmigaWorkout(), 600);
  EXPECT_EQ(mod.frames, 679941);
  EXPECT_EQ(mod.hash, 14786538062133139527ull);
}

TEST(OutputHash, DemoRendersAsRecorded) {
  const std::filesystem::path demo = std::filesystem::path(QORVE_DEMO_DIR) / "qorve_demo.xm";
  const std::vector<uint8_t> image = ReadFile(demo);
  ASSERT_FALSE(image.empty()) << demo;
  const Rendered r = RenderHash(image, 600);
  EXPECT_EQ(r.frames, 4958882);
  EXPECT_EQ(r.hash, 10215268496794627644ull);
}

struct SharedModule {
  const char* path;  // below the shared media folder
  int64_t frames;
  uint64_t hash;
};

void PrintTo(const SharedModule& m, std::ostream* out) { *out << m.path; }

class SharedModuleHash : public testing::TestWithParam<SharedModule> {};

TEST_P(SharedModuleHash, RendersAsRecorded) {
  const SharedModule& m = GetParam();
  QORVE_NEED_SHARED_MEDIA_AT(test::SharedMedia() / m.path);
  // The first two minutes: every sample kind and effect a song uses shows by then.
  const Rendered r = RenderHash(ReadFile(test::SharedMedia() / m.path), 120);
  EXPECT_EQ(r.frames, m.frames);
  EXPECT_EQ(r.hash, m.hash);
}

const SharedModule kSharedModules[] = {
    {"mod/AnarchyMenu1.mod", 5292086, 10146797386941856508ull},
    {"mod/Gidion_Graveland_FLT8.mod", 1018028, 797029535727925841ull},
    {"mod/TDZ3_3ch.MOD", 338741, 15559167763591732068ull},
    {"mod/area1-game2_is_really_XM.mod", 5292086, 284040204400118241ull},
    {"mod/lind_MandK.mod", 3952393, 1913014845091952620ull},
    {"xm/mph.xm", 4320258, 5165977804526818761ull},
};

INSTANTIATE_TEST_SUITE_P(Files, SharedModuleHash, testing::ValuesIn(kSharedModules), [](const auto& info) {
  std::string name;
  for (const char* c = info.param.path; *c; ++c) name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
  return name;
});

}  // namespace
}  // namespace qorve
