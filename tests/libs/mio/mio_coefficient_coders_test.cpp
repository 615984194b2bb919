// The coefficient coders of lossy MIO other than ERINA: the ERISA arithmetic
// coder against streams worked out by hand and against the test encoder
// (escapes, zero runs longer than one run symbol, counts that halve, models
// carried into a non-lead chunk and reset by a lead chunk); gamma run-length
// words with values, worked out by hand; and whole lossy files whose
// coefficients, sent through each of the three coders, play the same sound.
#include "libs/mio/erisa_arithmetic.h"
#include "libs/mio/mio_decoder.h"
#include "libs/mio/mio_gamma_words.h"
#include "mio_maker.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace qorve::test {
namespace {

std::vector<int32_t> DecodeErisa(mio::ErisaDecoder& decoder, const std::vector<uint8_t>& bytes, std::size_t count,
                                 bool& ok) {
  mio::MioBitReader bits(bytes.data(), bytes.size());
  std::vector<int32_t> out(count, 0x7777);
  decoder.Start(bits);
  ok = decoder.Decode(bits, out.data(), out.size());
  return out;
}

// Fresh models give every symbol a count of 1 of 257, and the first range is
// 65535 = 255·257. The word 5 in model 0 starts at ⌈65535·5/257⌉ = 1275 and
// leaves a range of 255, shifted up 8 bits: the low end is 1275·2^8 in 40
// bits, 00 00 04 FB 00. A second 5 (in the fresh model 5) adds
// ⌈65280·5/257⌉ = 1271 before another 8 shifts: (1275·2^8 + 1271)·2^8 =
// 00 00 04 FF F7 00 in 48 bits.
TEST(ErisaArithmeticTest, StreamsWorkedOutByHand) {
  const std::vector<uint8_t> one = {0x00, 0x00, 0x04, 0xFB, 0x00, 0x00, 0x00, 0x00};
  const std::vector<uint8_t> two = {0x00, 0x00, 0x04, 0xFF, 0xF7, 0x00, 0x00, 0x00};
  mio::ErisaDecoder decoder;
  bool ok = false;
  EXPECT_EQ(DecodeErisa(decoder, one, 1, ok), std::vector<int32_t>{5});
  EXPECT_TRUE(ok);
  decoder.ResetModels();
  EXPECT_EQ(DecodeErisa(decoder, two, 2, ok), (std::vector<int32_t>{5, 5}));
  EXPECT_TRUE(ok);

  // The test encoder writes the same bits.
  ErisaEncoder encoder;
  BitWriter writer;
  encoder.Encode({5, 5}, writer);
  EXPECT_EQ(writer.Bytes(), two);
}

// Words of one shape, cut into chunks: lead, non-lead (models and context go
// on), lead (all fresh again).
struct WordShape {
  const char* name;
  std::size_t count;
  int zeroPercent;
  int spread;        // other words from −spread..spread
  int widePercent;   // words outside a byte (coded through the escape)
  int longRunPercent;  // zero runs of 200..1000 words
};

std::vector<int32_t> MakeWords(const WordShape& shape, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<int32_t> words;
  while (words.size() < shape.count) {
    const int pick = static_cast<int>(random() % 100);
    if (pick < shape.longRunPercent) {
      words.insert(words.end(), 200 + random() % 801, 0);
    } else if (pick < shape.longRunPercent + shape.zeroPercent) {
      words.push_back(0);
    } else if (pick < shape.longRunPercent + shape.zeroPercent + shape.widePercent) {
      const int32_t wide = 128 + static_cast<int32_t>(random() % 32640);
      words.push_back(random() % 2 != 0 ? wide : -wide - 1);  // up to −32768 and 32767
    } else {
      words.push_back(static_cast<int32_t>(random() % (2 * shape.spread + 1)) - shape.spread);
    }
  }
  words.resize(shape.count);
  return words;
}

class ErisaRoundTripTest : public ::testing::TestWithParam<WordShape> {};

TEST_P(ErisaRoundTripTest, DecodesWhatTheEncoderWroteAcrossChunks) {
  const std::vector<int32_t> words = MakeWords(GetParam(), 11);
  const std::size_t cuts[4] = {0, words.size() / 3, 2 * words.size() / 3, words.size()};
  const bool lead[3] = {true, false, true};
  ErisaEncoder encoder;
  mio::ErisaDecoder decoder;
  for (int chunk = 0; chunk < 3; ++chunk) {
    const std::vector<int32_t> part(words.begin() + static_cast<long>(cuts[chunk]),
                                    words.begin() + static_cast<long>(cuts[chunk + 1]));
    if (lead[chunk]) encoder.Reset(), decoder.ResetModels();
    BitWriter writer;
    encoder.Encode(part, writer);
    bool ok = false;
    EXPECT_EQ(DecodeErisa(decoder, writer.Bytes(), part.size(), ok), part) << "chunk " << chunk;
    EXPECT_TRUE(ok) << "chunk " << chunk;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, ErisaRoundTripTest,
    ::testing::Values(
        // Over 10,000 words in each of three contexts before the reset: their
        // models halve their counts.
        WordShape{"FewSmallValuesHalvingCounts", 60000, 10, 1, 0, 0},
        WordShape{"EveryByteValue", 30000, 5, 128, 0, 0},
        WordShape{"WideWordsThroughTheEscape", 20000, 5, 20, 40, 0},
        WordShape{"ZeroRunsLongerThanOneRunSymbol", 40000, 20, 6, 2, 3}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ErisaArithmeticTest, StreamRunningPastItsDataIsCorrupt) {
  // All-zero bits decode as zeros with empty runs, 8 bits each; after the
  // data the coder takes at most 255 more bits.
  const std::vector<uint8_t> bytes(8, 0);
  mio::ErisaDecoder decoder;
  bool ok = true;
  DecodeErisa(decoder, bytes, 1000, ok);
  EXPECT_FALSE(ok);
}

std::vector<int32_t> DecodeGamma(const std::vector<uint8_t>& bytes, std::size_t count, bool& ok) {
  mio::MioBitReader bits(bytes.data(), bytes.size());
  std::vector<int32_t> out(count, 0x7777);
  ok = mio::DecodeGammaWords(bits, out.data(), out.size());
  return out;
}

// 3, −1, 0, 0, 0, 2: "1" (values first), run 2 "100", +3 "0 110", −1 "1 0",
// zero run 3 "110", value run 1 "0", +2 "0 100" = C6 B1 00.
// 0, 0, −300: "0" (zeros first), run 2 "100", value run 1 "0", −300
// "1 10101110111110100" (300 = 1 0010 1100) = 46 BB E8.
TEST(GammaWordsTest, ValueAndZeroRunsWorkedOutByHand) {
  bool ok = false;
  EXPECT_EQ(DecodeGamma({0xC6, 0xB1, 0x00, 0x00}, 6, ok), (std::vector<int32_t>{3, -1, 0, 0, 0, 2}));
  EXPECT_TRUE(ok);
  // A run longer than the words asked for ends with the request.
  EXPECT_EQ(DecodeGamma({0xC6, 0xB1, 0x00, 0x00}, 4, ok), (std::vector<int32_t>{3, -1, 0, 0}));
  EXPECT_TRUE(ok);
  EXPECT_EQ(DecodeGamma({0x46, 0xBB, 0xE8, 0x00}, 3, ok), (std::vector<int32_t>{0, 0, -300}));
  EXPECT_TRUE(ok);

  BitWriter writer;
  PutGammaWords({0, 0, -300}, writer);
  EXPECT_EQ(writer.Bytes(), (std::vector<uint8_t>{0x46, 0xBB, 0xE8, 0x00}));
}

TEST(GammaWordsTest, WideValuesAndLongRunsRoundTrip) {
  const std::vector<int32_t> words = MakeWords({"", 20000, 20, 100, 10, 3}, 5);
  BitWriter writer;
  PutGammaWords(words, writer);
  bool ok = false;
  EXPECT_EQ(DecodeGamma(writer.Bytes(), words.size(), ok), words);
  EXPECT_TRUE(ok);
}

TEST(GammaWordsTest, StreamRunningPastItsDataIsCorrupt) {
  // Values first, a run of 2, then +3 and nothing more: the zero padding
  // reads as short runs until it too runs out.
  bool ok = true;
  DecodeGamma({0xC6, 0x00, 0x00, 0x00}, 100, ok);
  EXPECT_FALSE(ok);
  // A value run whose length code never ends.
  DecodeGamma({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 8, ok);
  EXPECT_FALSE(ok);
}

std::vector<int16_t> DecodeFile(const std::string& bytes) {
  mio::MioFile file;
  file.OpenBytes(std::vector<uint8_t>(bytes.begin(), bytes.end()));
  mio::MioDecoder decoder;
  if (!decoder.Open(file)) return {};
  std::vector<int16_t> all;
  for (uint32_t frame = 0; frame < decoder.TotalFrames(); frame += mio::MioDecoder::kBlockFrames) {
    auto block = decoder.DecodeAt(frame);
    const std::size_t count = block->pcm.size() / 2;
    const std::size_t at = all.size();
    all.resize(at + count);
    std::memcpy(all.data() + at, block->pcm.data(), count * 2);
    decoder.Release(std::move(block));
  }
  all.resize(static_cast<std::size_t>(decoder.TotalFrames()) * decoder.Channels());
  return all;
}

struct LossyShape {
  const char* name;
  uint32_t transformation;
  uint32_t channels;
  uint32_t subbandDegree;
  std::vector<LossyChunkPlan> chunks;  // words filled in by the test
};

class LossyCodersTest : public ::testing::TestWithParam<LossyShape> {};

// The ERINA path (the one the real files check against the reference output)
// reorders its byte planes; the other two hand the words over in block order.
// Any coder that lost, reordered or misread a word would change the sound.
TEST_P(LossyCodersTest, SameCoefficientsThroughEachCoderPlayTheSameSound) {
  LossyShape shape = GetParam();
  const uint32_t width = 1u << shape.subbandDegree;
  uint32_t seed = 1;
  for (LossyChunkPlan& chunk : shape.chunks) {
    const uint32_t subbands = (chunk.frames + width - 1) / width;
    chunk.words = MakeWords({"", subbands * width * shape.channels, 25, 12, 1, 0}, seed++);
  }
  const std::vector<int16_t> erina =
      DecodeFile(MakeLossyMio(shape.transformation, LossyCoder::Erina, shape.channels, shape.subbandDegree, shape.chunks));
  uint32_t frames = 0;
  for (const LossyChunkPlan& chunk : shape.chunks) frames += chunk.frames;
  ASSERT_EQ(erina.size(), static_cast<std::size_t>(frames) * shape.channels);
  const auto sounding = std::count_if(erina.begin(), erina.end(), [](int16_t s) { return s != 0; });
  EXPECT_GT(sounding, static_cast<long>(erina.size() * 9 / 10));
  EXPECT_EQ(DecodeFile(MakeLossyMio(shape.transformation, LossyCoder::Erisa, shape.channels, shape.subbandDegree,
                                    shape.chunks)),
            erina);
  EXPECT_EQ(DecodeFile(MakeLossyMio(shape.transformation, LossyCoder::GammaWords, shape.channels,
                                    shape.subbandDegree, shape.chunks)),
            erina);
}

INSTANTIATE_TEST_SUITE_P(
    Files, LossyCodersTest,
    ::testing::Values(
        // Blocks of 512, 128, 256 and 64; a non-lead chunk between leads.
        LossyShape{"MonoPlain", 5, 1, 9, {{1200, true, {0, 2, 2}, {}}, {700, false, {1, 1}, {}}, {512, true, {3}, {}}}},
        // Each channel with its own divisions.
        LossyShape{"StereoPlain", 5, 2, 8, {{700, true, {0, 2, 2, 2, 1, 0}, {}}, {256, false, {1, 2}, {}}}},
        // One division per subband for both channels, rotated.
        LossyShape{"StereoRotated", 0x105, 2, 10, {{2048, true, {0, 2}, {}}, {1000, false, {1}, {}}}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qorve::test
