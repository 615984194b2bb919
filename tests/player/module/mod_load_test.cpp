// The XM and MOD loaders on hand-built images: every rejection, the sample
// preparation (delta decoding, ping-pong unrolling, loop end, fade-out tail),
// envelope tables, MOD signatures and period-to-note conversion.
#include "player/module/mod_player.h"
#include "module_images.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace qorve {
namespace {

using test::BuildMod;
using test::BuildXm;
using test::Cell;
using test::ModSong;
using test::XmInstrument;
using test::XmSample;
using test::XmSong;

using test::Player;

Player Load(const std::vector<uint8_t>& image, int expected = 1) {
  Player player(ModCreate());
  EXPECT_EQ(ModLoad(player.get(), image.data(), static_cast<int64_t>(image.size())), expected);
  return player;
}

XmSong OneSampleXm(const XmSample& sample) {
  XmSong song;
  XmInstrument instrument;
  instrument.samples.push_back(sample);
  song.instruments.push_back(instrument);
  return song;
}

const ModSample& FirstSample(const Player& p) { return *p->samples[0]; }

int8_t Byte(const ModSample& s, int i) { return static_cast<int8_t>(s.data[i]); }
int16_t Word(const ModSample& s, int i) {
  int16_t value;
  std::memcpy(&value, s.data + i * 2, 2);
  return value;
}

TEST(ModCreate, StartsEmptyWithItsDefaults) {
  Player p(ModCreate());
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->format, 0);
  EXPECT_EQ(p->songLoop, 1);
  EXPECT_EQ(p->autoGainOn, 1);
  EXPECT_EQ(p->rate, 44100);
  EXPECT_EQ(p->masterVolume, 4096);
  EXPECT_EQ(ModReset(p.get()), 0) << "nothing loaded";
  EXPECT_EQ(ModLoad(nullptr, nullptr, 0), 0);
}

struct Rejection {
  const char* name;
  std::function<std::vector<uint8_t>()> image;
};

std::vector<uint8_t> XmWith(const std::function<void(XmSong&)>& change) {
  XmSong song = OneSampleXm(test::LoopedSquare());
  change(song);
  return BuildXm(song);
}

std::vector<uint8_t> Patched(std::vector<uint8_t> image, std::size_t offset, std::vector<uint8_t> bytes) {
  for (std::size_t i = 0; i < bytes.size(); ++i) image.at(offset + i) = bytes[i];
  return image;
}

std::vector<uint8_t> Truncated(std::vector<uint8_t> image, std::size_t size) {
  image.resize(size);
  return image;
}

// 256 patterns of 65535 rows × 64 channels, all empty, and one instrument
// without samples: 2.7 KB that would ask for 5.4 GB of cells.
std::vector<uint8_t> XmOfEmptyGiantPatterns() {
  XmSong song;
  song.instruments.push_back(XmInstrument{});
  std::vector<uint8_t> image = BuildXm(song);
  image.resize(336);
  image = Patched(image, 68, {64, 0, 0, 1});  // channels, pattern count
  for (int p = 0; p < 256; ++p) image.insert(image.end(), {9, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0});
  test::Put32(image, 29);
  image.resize(image.size() + 25, 0);  // name, type, no samples
  return image;
}

std::vector<uint8_t> ModWithSample() {
  ModSong song;
  song.samples.push_back({std::vector<int8_t>(100, 10), 0, 64, 0, 1});
  return BuildMod(song);
}

class LoaderRejects : public testing::TestWithParam<Rejection> {};

TEST_P(LoaderRejects, LeavesNothingLoaded) {
  const std::vector<uint8_t> image = GetParam().image();
  Player p = Load(image, 0);
  EXPECT_EQ(p->format, 0);
  for (auto* pattern : p->patterns) EXPECT_EQ(pattern, nullptr);
  for (auto* sample : p->samples) EXPECT_EQ(sample, nullptr);
  for (auto* instrument : p->instruments) EXPECT_EQ(instrument, nullptr);
  std::vector<uint8_t> pcm(4000);
  EXPECT_EQ(ModRender(p.get(), pcm.data(), 1000), 0);
}

const Rejection kRejections[] = {
    {"XmTooSmall", [] { return Truncated(XmWith([](XmSong&) {}), 59); }},
    {"XmNotAboveHeaderPlus275", [] { return Truncated(XmWith([](XmSong&) {}), 335); }},
    {"XmWrongSignature", [] { return Patched(XmWith([](XmSong&) {}), 0, {'e'}); }},
    {"XmWrongMarker", [] { return Patched(XmWith([](XmSong&) {}), 37, {0x1B}); }},
    {"XmVersion0102", [] { return XmWith([](XmSong& s) { s.version = 0x0102; }); }},
    {"XmSongLength0", [] { return XmWith([](XmSong& s) { s.orders.clear(); }); }},
    {"XmSongLength257", [] { return XmWith([](XmSong& s) { s.orders.assign(257, 0); }); }},
    {"XmChannels0", [] { return Patched(XmWith([](XmSong&) {}), 68, {0, 0}); }},
    {"XmChannels65", [] { return Patched(XmWith([](XmSong&) {}), 68, {65, 0}); }},
    {"XmPatterns0", [] { return Patched(XmWith([](XmSong&) {}), 70, {0, 0}); }},
    {"XmPatterns257", [] { return Patched(XmWith([](XmSong&) {}), 70, {1, 1}); }},
    {"XmInstruments0", [] { return XmWith([](XmSong& s) { s.instruments.clear(); }); }},
    {"XmInstruments129", [] { return Patched(XmWith([](XmSong&) {}), 72, {129, 0}); }},
    {"XmPatternWithoutRows", [] { return XmWith([](XmSong& s) { s.patterns[0].rows = 0; }); }},
    {"XmPatternOf257Rows", [] { return XmWith([](XmSong& s) { s.patterns[0].rows = 257; }); }},
    {"XmSmallImageAskingForGigabytes", [] { return XmOfEmptyGiantPatterns(); }},
    {"XmSeventeenSamples", [] { return XmWith([](XmSong& s) { s.instruments[0].declaredSampleCount = 17; }); }},
    {"XmLoopBeyondSample", [] { return XmWith([](XmSong& s) { s.instruments[0].samples[0].loopLength = 65; }); }},
    {"XmPackedPatternCut", [] { auto i = XmWith([](XmSong&) {}); i.resize(336 + 9 + 100); return i; }},
    {"XmSampleDataCut", [] { auto i = XmWith([](XmSong&) {}); i.pop_back(); return i; }},
    {"XmInstrumentHeaderCut", [] { auto i = XmWith([](XmSong&) {}); i.resize(i.size() - 64 - 40 - 100); return i; }},
    {"ModTooSmall", [] { auto i = ModWithSample(); i.resize(1083); return i; }},
    {"ModUnknownSignature", [] { return Patched(ModWithSample(), 1080, {'X', 'Y', 'Z', 'W'}); }},
    {"ModLoopPastEnd", [] {
       ModSong song;
       song.samples.push_back({std::vector<int8_t>(100, 10), 0, 64, 40, 20});
       return BuildMod(song);
     }},
    {"ModPatternBlockCut", [] { auto i = ModWithSample(); i.resize(1084 + 1000); return i; }},
    {"ModSampleDataCut", [] { auto i = ModWithSample(); i.pop_back(); return i; }},
    {"ModPatternOnlyAfterSongLength", [] {
       ModSong song;
       song.orders[5] = 3;  // beyond the song length of 1, still counted
       song.patternCount = 1;
       return BuildMod(song);
     }},
};

INSTANTIATE_TEST_SUITE_P(Images, LoaderRejects, testing::ValuesIn(kRejections),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ModLoadXM, UnpacksCellsAndReadsHeaderFields) {
  XmSong song = OneSampleXm(test::LoopedSquare());
  song.channels = 2;
  song.patterns[0].rows = 3;
  song.patterns[0].cells = {Cell{49, 1, 0x40, 0xA, 0x12}, Cell{}, Cell{}, Cell{97, 0, 0, 0, 0}};
  song.patterns[0].headerLength = 7;  // the header is 9 bytes whatever this says
  song.speed = 3;
  song.tempo = 140;
  const Player p = Load(BuildXm(song));
  EXPECT_EQ(p->format, kModXm);
  EXPECT_EQ(p->channels, 2);
  EXPECT_EQ(p->initialSpeed, 3);
  EXPECT_EQ(p->initialTempo, 140);
  EXPECT_STREQ(p->moduleName, "test song");
  const ModPattern& pattern = *p->patterns[0];
  EXPECT_EQ(pattern.rows, 3);
  EXPECT_EQ(pattern.headerLength, 7);
  const std::vector<uint8_t> first(pattern.cells, pattern.cells + 5);
  EXPECT_EQ(first, (std::vector<uint8_t>{49, 1, 0x40, 0xA, 0x12}));
  EXPECT_EQ(pattern.cells[15], 97);
}

TEST(ModLoadXM, PatternOfTheMostRowsLoads) {
  XmSong song = OneSampleXm(test::LoopedSquare());
  song.channels = 32;  // the packed cells of 256 rows still fit the 16-bit packed size
  song.patterns[0].rows = 256;
  song.patterns[0].cells.resize(256 * 32);
  song.patterns[0].cells.back() = Cell{97, 0, 0, 0, 0};
  const Player p = Load(BuildXm(song));
  ASSERT_EQ(p->format, kModXm);
  EXPECT_EQ(p->patterns[0]->rows, 256);
  EXPECT_EQ(p->patterns[0]->cells[(256 * 32 - 1) * 5], 97);
}

TEST(ModLoadXM, EightBitPingPongLoopIsUnrolled) {
  XmSample sample;
  sample.values = {5, 10, 20, 30};  // loop over 10 20 30
  sample.loopType = 2;
  sample.loopStart = 1;
  sample.loopLength = 3;
  const Player p = Load(BuildXm(OneSampleXm(sample)));
  const ModSample& s = FirstSample(p);
  EXPECT_EQ(s.loopStart, 1);
  EXPECT_EQ(s.loopLength, 6);
  EXPECT_EQ(s.length, 7);
  const std::vector<int> expected = {5, 10, 20, 30, 30, 20, 10, 10};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(Byte(s, i), expected[i]) << i;
  EXPECT_EQ(s.state, kSampleHasData | kSampleLooped);
}

TEST(ModLoadXM, SixteenBitDeltaDecodingWrapsAndHalvesLengths) {
  XmSample sample;
  sample.wide = true;
  sample.values = {32000, -32000, 1000, -5};  // deltas wrap through 16 bits
  sample.loopType = 1;
  sample.loopStart = 1;
  sample.loopLength = 2;
  const Player p = Load(BuildXm(OneSampleXm(sample)));
  const ModSample& s = FirstSample(p);
  EXPECT_EQ(s.state, kSampleHasData | kSampleLooped | kSample16Bit);
  EXPECT_EQ(s.loopStart, 1);
  EXPECT_EQ(s.loopLength, 2);
  EXPECT_EQ(s.length, 3) << "what lay after the loop is dropped";
  EXPECT_EQ(Word(s, 0), 32000);
  EXPECT_EQ(Word(s, 1), -32000);
  EXPECT_EQ(Word(s, 2), 1000);
  EXPECT_EQ(Word(s, 3), -32000) << "the loop-start sample repeats at the loop end";
}

TEST(ModLoadXM, UnloopedSampleGetsTheFadeOutTail) {
  XmSample sample;
  sample.values = {0, 100};
  const Player p = Load(BuildXm(OneSampleXm(sample)));
  const ModSample& s = FirstSample(p);
  EXPECT_EQ(s.length, 2 + 255);
  int v = 100 * 4096;
  for (int i = 0; i < 256; ++i) {
    ASSERT_EQ(Byte(s, 2 + i), v >> 12) << i;
    v -= v >> 6;
  }
  EXPECT_EQ(Byte(s, 2), 100);
  EXPECT_EQ(Byte(s, 3), 98);  // 409600 - 6400 = 403200, >> 12
}

TEST(ModLoadXM, EnvelopeTableIsInterpolatedAndHeldAfterTheLastPoint) {
  XmSong song = OneSampleXm(test::LoopedSquare());
  song.instruments[0].volumeEnvelope = {{0, 64}, {10, 0}, {13, 30}, {400, 300}};
  song.instruments[0].volumeType = kEnvelopeOn | kEnvelopeSustain | kEnvelopeLoop;
  song.instruments[0].volumeSustain = 1;
  song.instruments[0].volumeLoopStart = 2;
  song.instruments[0].volumeLoopEnd = 2;
  const Player p = Load(BuildXm(song));
  const ModInstrument& ins = *p->instruments[0];
  EXPECT_EQ(ins.volumeTable[0], 64);
  EXPECT_EQ(ins.volumeTable[1], 64 - 64 / 10 - 0);  // 64 + 1 × (-64) ÷ 10 = 57.6 → 58
  EXPECT_EQ(ins.volumeTable[3], 64 + 3 * -64 / 10);
  EXPECT_EQ(ins.volumeTable[10], 0);
  EXPECT_EQ(ins.volumeTable[11], 10);
  EXPECT_EQ(ins.volumeTable[13], 30);
  // The last point moved to 324 with its value held to 255.
  EXPECT_EQ(ins.volumeTable[324], 255);
  EXPECT_EQ(ins.volumeTable[13 + 311 / 2], 30 + (311 / 2) * 225 / 311);
  EXPECT_EQ(ins.volumeSustain, 10);
  EXPECT_EQ(ins.volumeLoopStart, 13);
  EXPECT_EQ(ins.volumeType, kEnvelopeOn | kEnvelopeSustain) << "a loop of one position is no loop";
  EXPECT_EQ(ins.samples[0], p->samples[0]);
}

TEST(ModLoadXM, EnvelopeOfOnePointIsAllZero) {
  XmSong song = OneSampleXm(test::LoopedSquare());
  song.instruments[0].volumeEnvelope = {{5, 64}};
  song.instruments[0].volumeType = kEnvelopeOn;
  const Player p = Load(BuildXm(song));
  for (uint8_t value : p->instruments[0]->volumeTable) ASSERT_EQ(value, 0);
}

TEST(ModLoadXM, InstrumentWithoutSamplesAndSampleNumbersAboveFifteen) {
  XmSong song = OneSampleXm(test::LoopedSquare());
  song.instruments.insert(song.instruments.begin(), XmInstrument{});
  const Player p = Load(BuildXm(song));
  EXPECT_EQ(p->instrumentCount, 2);
  EXPECT_EQ(p->instruments[0]->sampleCount, 0);
  EXPECT_EQ(p->instruments[1]->samples[95], p->samples[16]);
}

TEST(ModLoadXM, LoadReplacesTheSongBefore) {
  Player p = Load(BuildXm(OneSampleXm(test::LoopedSquare())));
  XmSong two = OneSampleXm(test::LoopedSquare(32));
  two.channels = 6;
  const auto image = BuildXm(two);
  ASSERT_EQ(ModLoad(p.get(), image.data(), static_cast<int64_t>(image.size())), 1);
  EXPECT_EQ(p->channels, 6);
  EXPECT_EQ(p->samples[0]->loopLength, 32);
  ASSERT_EQ(ModLoad(p.get(), image.data(), 10), 0);
  EXPECT_EQ(p->format, 0);
  EXPECT_EQ(p->samples[0], nullptr);
}

struct SignatureCase {
  const char* signature;
  int channels;
};

class ModSignatures : public testing::TestWithParam<SignatureCase> {};

TEST_P(ModSignatures, DecideTheChannelCount) {
  ModSong song;
  song.signature = GetParam().signature;
  song.channels = GetParam().channels;
  song.samples.push_back({std::vector<int8_t>(64, 1), 0, 64, 0, 1});
  const Player p = Load(BuildMod(song));
  EXPECT_EQ(p->format, kModMod);
  EXPECT_EQ(p->channels, GetParam().channels);
  EXPECT_EQ(p->initialSpeed, 6);
  EXPECT_EQ(p->initialTempo, 125);
}

INSTANTIATE_TEST_SUITE_P(Table, ModSignatures,
                         testing::Values(SignatureCase{"M.K.", 4}, SignatureCase{"M!K!", 4}, SignatureCase{"FLT4", 4},
                                         SignatureCase{"FLT8", 4}, SignatureCase{"CD81", 8}, SignatureCase{"OKTA", 8},
                                         SignatureCase{"TDZ3", 3}, SignatureCase{"6CHN", 6}, SignatureCase{"12CH", 12},
                                         SignatureCase{"32CH", 32}, SignatureCase{"16CN", 16}),
                         [](const auto& info) {
                           std::string name;
                           for (char c : std::string(info.param.signature)) name += std::isalnum(c) ? std::string(1, c) : std::to_string(c);
                           return name;
                         });

struct PeriodCase {
  int period;
  int note;
};

class ModPeriodToNote : public testing::TestWithParam<PeriodCase> {};

TEST_P(ModPeriodToNote, FindsTheNearestTableNote) {
  ModSong song;
  song.samples.push_back({std::vector<int8_t>(64, 1), 0, 40, 0, 1});
  song.patterns[0].resize(4);
  song.patterns[0][0] = {1, GetParam().period, 0xC, 0x20};
  const Player p = Load(BuildMod(song));
  const uint8_t* cell = p->patterns[0]->cells;
  EXPECT_EQ(cell[0], GetParam().note);
  EXPECT_EQ(cell[1], 1);
  EXPECT_EQ(cell[2], 40 + 16) << "the sample's volume as a set-volume command";
  EXPECT_EQ(cell[3], 0xC);
  EXPECT_EQ(cell[4], 0x20);
}

INSTANTIATE_TEST_SUITE_P(Periods, ModPeriodToNote,
                         testing::Values(PeriodCase{856, 37}, PeriodCase{428, 49}, PeriodCase{10, 24},
                                         PeriodCase{2000, 25}, PeriodCase{0, 0}, PeriodCase{1712, 25},
                                         PeriodCase{113, 72}),
                         [](const auto& info) { return "Period" + std::to_string(info.param.period); });

TEST(ModLoadMOD, OneWordLoopIsNoLoopAndSamplesBecomeInstruments) {
  ModSong song;
  song.samples.push_back({std::vector<int8_t>{1, 2, 3, 4}, -3, 64, 1, 1});
  song.samples.push_back({std::vector<int8_t>{7, 8, 9, 10, 11, 12}, 0, 64, 1, 2});
  const Player p = Load(BuildMod(song));
  const ModSample& first = *p->samples[0];
  EXPECT_FALSE(first.state & kSampleLooped);
  EXPECT_EQ(first.length, 4 + 255);
  EXPECT_EQ(first.finetune, -48);
  const ModSample& second = *p->samples[16];
  EXPECT_TRUE(second.state & kSampleLooped);
  EXPECT_EQ(second.loopStart, 2);
  EXPECT_EQ(second.loopLength, 4);
  EXPECT_EQ(second.length, 6);
  EXPECT_EQ(Byte(second, 6), 9);
  EXPECT_EQ(p->instruments[1]->samples[0], &second);
  EXPECT_EQ(p->instruments[1]->samples[95], &second);
  EXPECT_EQ(p->instrumentCount, 31);
}

TEST(ModLoadMOD, FifteenSampleLayoutsHaveTheirSignatureAt1080) {
  // 15 sample headers: the song length at 470, the orders at 472, the
  // patterns from 604; the signature is still read at 1080.
  for (const char* signature : {"N.T.", "    "}) {
    SCOPED_TRACE(signature);
    ModSong song;
    song.signature = signature;
    song.sampleHeaders = 15;
    song.samples.push_back({std::vector<int8_t>(64, 5), 0, 40, 0, 32});
    song.patterns[0].resize(4);
    song.patterns[0][0] = {1, 428, 0xC, 0x20};
    const std::vector<uint8_t> image = BuildMod(song);
    const Player p = Load(image);
    EXPECT_EQ(p->format, kModMod);
    EXPECT_EQ(p->channels, 4);
    EXPECT_EQ(p->instrumentCount, 15);
    EXPECT_EQ(p->songLength, 1);
    const uint8_t* cell = p->patterns[0]->cells;
    EXPECT_EQ(cell[0], 49);
    EXPECT_EQ(cell[1], 1);
    EXPECT_EQ(cell[2], 40 + 16);
    EXPECT_EQ(cell[3], 0xC);
    EXPECT_EQ(cell[4], 0x20);
    ASSERT_NE(p->samples[0], nullptr);
    EXPECT_EQ(Byte(FirstSample(p), 0), 5) << "the samples follow the one pattern";
    EXPECT_EQ(p->samples[15 * 16], nullptr);

    // A Soundtracker module has no signature and its patterns start right
    // after the orders, at 600: nothing at 1080 matches, so it is refused.
    std::vector<uint8_t> soundtracker = image;
    soundtracker.erase(soundtracker.begin() + 600, soundtracker.begin() + 604);
    Load(soundtracker, 0);
  }
}

TEST(ModLoadMOD, PatternAfterTheSongLengthIsLoaded) {
  ModSong song;
  song.orders[9] = 2;
  const Player p = Load(BuildMod(song));
  EXPECT_EQ(p->patternCount, 3);
  EXPECT_NE(p->patterns[2], nullptr);
  EXPECT_EQ(p->patterns[3], nullptr);
}

TEST(ModLoad, XmIsTriedFirstAndMustBeWhole) {
  // An XM image whose instruments are cut off is no MOD either.
  auto image = BuildXm(OneSampleXm(test::LoopedSquare()));
  const Player p = Load(image);
  EXPECT_EQ(p->format, kModXm);
  image.resize(image.size() - 10);
  Load(image, 0);
}

}  // namespace
}  // namespace qorve
