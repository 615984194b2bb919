// The MIO decoder: the two real lossy files against their reference output,
// the hand-built lossless files of the format description, lossless files
// made here (stereo, several chunks, lead and non-lead), blocks from any
// frame across chunks, silence after a corrupt chunk until the next lead
// chunk, the gamma-word variant, and files it refuses (among them blocks too
// short for the dequantiser).
#include "libs/mio/mio_decoder.h"
#include "mio_maker.h"
#include "support/shared_media.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

namespace qorve::test {
namespace {

const std::string kMedia = (SharedMedia() / "mio").string() + "/";

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every frame of the file, block after block.
std::vector<uint8_t> DecodeAll(mio::MioDecoder& decoder) {
  std::vector<uint8_t> all;
  for (uint32_t frame = 0; frame < decoder.TotalFrames(); frame += mio::MioDecoder::kBlockFrames) {
    auto block = decoder.DecodeAt(frame);
    all.insert(all.end(), block->pcm.begin(), block->pcm.end());
    decoder.Release(std::move(block));
  }
  all.resize(static_cast<std::size_t>(decoder.TotalFrames()) * decoder.BlockAlign());
  return all;
}

std::vector<int16_t> Samples16(const std::vector<uint8_t>& bytes) {
  std::vector<int16_t> samples(bytes.size() / 2);
  std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
  return samples;
}

struct Opened {
  mio::MioFile file;
  mio::MioDecoder decoder;
  bool Open(std::vector<uint8_t> bytes) {
    file.OpenBytes(std::move(bytes));
    return decoder.Open(file);
  }
  bool Open(const std::string& bytes) { return Open(std::vector<uint8_t>(bytes.begin(), bytes.end())); }
};

struct RealFile {
  const char* name;
  uint16_t channels;
  uint32_t frames;
};

class MioRealFileTest : public ::testing::TestWithParam<RealFile> {};

TEST_P(MioRealFileTest, DecodesToTheReferenceSampleForSample) {
  QORVE_NEED_SHARED_MEDIA();
  const RealFile file = GetParam();
  Opened opened;
  ASSERT_TRUE(opened.Open(ReadBytes(kMedia + file.name + ".mio")));
  EXPECT_EQ(opened.decoder.Channels(), file.channels);
  EXPECT_EQ(opened.decoder.SampleRate(), 22050u);
  EXPECT_EQ(opened.decoder.TotalFrames(), file.frames);
  const std::vector<uint8_t> reference = ReadBytes(kMedia + file.name + "-out.wav");
  const auto data = std::search(reference.begin(), reference.end(), std::begin("data"), std::end("data") - 1);
  ASSERT_NE(data, reference.end());
  const std::vector<uint8_t> ours = DecodeAll(opened.decoder);
  ASSERT_GE(static_cast<std::size_t>(reference.end() - data - 8), ours.size());
  EXPECT_TRUE(std::equal(ours.begin(), ours.end(), data + 8));
}

INSTANTIATE_TEST_SUITE_P(Files, MioRealFileTest,
                         ::testing::Values(RealFile{"SE_017", 1, 110836}, RealFile{"explosion", 2, 19912}),
                         [](const auto& info) { return std::string(info.param.name); });

struct HandBuilt {
  const char* name;
  uint32_t bits;
  std::vector<int> values;
};

class MioHandBuiltTest : public ::testing::TestWithParam<HandBuilt> {};

TEST_P(MioHandBuiltTest, DecodesToTheDescribedValues) {
  QORVE_NEED_SHARED_MEDIA();
  const HandBuilt& file = GetParam();
  Opened opened;
  ASSERT_TRUE(opened.Open(ReadBytes(kMedia + file.name + ".mio")));
  EXPECT_EQ(opened.decoder.BitsPerSample(), file.bits);
  const std::vector<uint8_t> pcm = DecodeAll(opened.decoder);
  std::vector<int> values;
  if (file.bits == 8) {
    values.assign(pcm.begin(), pcm.end());
  } else {
    for (int16_t s : Samples16(pcm)) values.push_back(s);
  }
  EXPECT_EQ(values, file.values);
}

INSTANTIATE_TEST_SUITE_P(Files, MioHandBuiltTest,
                         ::testing::Values(HandBuilt{"testA_silence", 16, {0, 0, 0, 0}},
                                           HandBuilt{"testB_ramp", 16, {100, 200, 300, 300}},
                                           HandBuilt{"testD_pcm8", 8, {128, 130, 135, 128, 0, 255}}),
                         [](const auto& info) { return std::string(info.param.name); });

// The hand-built stereo file: 22,050 Hz, three chunks of 1000 frames (lead,
// non-lead, lead), tagged "Test tone". The left channel is one 440 Hz sine of
// amplitude 8000 (rounded to nearest) through all three chunks; the right
// channel holds it inverted in the first chunk, silence in the second (a
// plane of zero runs carried in the coder's state) and halved (rounded down)
// in the third.
TEST(MioDecoderTest, HandBuiltStereoSineHoldsItsSineInEveryChunk) {
  QORVE_NEED_SHARED_MEDIA_AT(SharedMedia() / "mio" / "testC_stereo_sine.mio");
  Opened opened;
  ASSERT_TRUE(opened.Open(ReadBytes(kMedia + "testC_stereo_sine.mio")));
  EXPECT_EQ(opened.decoder.Channels(), 2);
  EXPECT_EQ(opened.decoder.SampleRate(), 22050u);
  ASSERT_EQ(opened.decoder.TotalFrames(), 3000u);
  std::vector<int16_t> expected;
  for (int i = 0; i < 3000; ++i) {
    const auto left = static_cast<int16_t>(std::lround(8000 * std::sin(2 * M_PI * 440 * i / 22050)));
    expected.push_back(left);
    expected.push_back(static_cast<int16_t>(i < 1000 ? -left : i < 2000 ? 0 : left >> 1));
  }
  const std::vector<int16_t> got = Samples16(DecodeAll(opened.decoder));
  EXPECT_EQ(got, expected);
  EXPECT_NE(opened.decoder.Container().Description().find(std::string("T\0e\0s\0t\0 \0t\0o\0n\0e\0", 18)),
            std::string::npos);

  // From the middle of the non-lead chunk: decoded on from the lead chunk.
  Opened again;
  ASSERT_TRUE(again.Open(ReadBytes(kMedia + "testC_stereo_sine.mio")));
  again.decoder.Release(again.decoder.DecodeAt(2500));
  const std::vector<int16_t> middle = Samples16(again.decoder.DecodeAt(1500)->pcm);
  EXPECT_TRUE(std::equal(expected.begin() + 3000, expected.end(), middle.begin()));
}

// Lossy mono chunks of 16-bit words through the gamma-word coder: every
// subband divided by `divisions`, words from a short cycle.
LossyChunkPlan CycleChunk(uint32_t frames, bool lead, std::vector<uint8_t> divisions, uint32_t width) {
  LossyChunkPlan chunk{frames, lead, std::move(divisions), {}};
  const uint32_t words = (frames + width - 1) / width * width;
  for (uint32_t i = 0; i < words; ++i) chunk.words.push_back(static_cast<int32_t>(i % 7) - 3);
  return chunk;
}

// The dequantiser's weight table has seven bands, the narrowest N/64 values
// wide, so blocks need at least 64 values. Subbands of 256 (degree 8) split
// in eight would make blocks of 32: such a file is refused when it is opened,
// wherever the division appears, rather than played as silence. Split in four
// they decode, as do subbands of 512 split in eight.
TEST(MioDecoderTest, BlocksShorterThanTheWeightBandsAreRefused) {
  Opened refused;
  EXPECT_FALSE(refused.Open(MakeLossyMio(5, LossyCoder::GammaWords, 1, 8, {CycleChunk(300, true, {3, 0}, 256)})));
  Opened later;
  EXPECT_FALSE(later.Open(MakeLossyMio(
      5, LossyCoder::GammaWords, 1, 8, {CycleChunk(512, true, {2, 2}, 256), CycleChunk(256, false, {3}, 256)})));

  for (const auto& [degree, divisions] :
       {std::pair<uint32_t, std::vector<uint8_t>>{8, {2, 0}}, std::pair<uint32_t, std::vector<uint8_t>>{9, {3}}}) {
    Opened opened;
    const uint32_t width = 1u << degree;
    ASSERT_TRUE(opened.Open(MakeLossyMio(5, LossyCoder::GammaWords, 1, degree,
                                         {CycleChunk(static_cast<uint32_t>(divisions.size()) * width, true, divisions,
                                                     width)})))
        << "degree " << degree;
    const std::vector<int16_t> got = Samples16(DecodeAll(opened.decoder));
    EXPECT_GT(std::count_if(got.begin(), got.end(), [](int16_t s) { return s != 0; }),
              static_cast<long>(got.size() / 2))
        << "degree " << degree;
  }
}

// Stereo samples with a wide range (second differences need both planes).
std::vector<int16_t> Chord(uint32_t frames) {
  std::vector<int16_t> samples;
  for (uint32_t i = 0; i < frames; ++i) {
    samples.push_back(static_cast<int16_t>(std::lround(30000 * std::sin(i * 0.031) * std::cos(i * 0.0007))));
    samples.push_back(static_cast<int16_t>(std::lround(12000 * std::sin(i * 0.2) + (i % 97 == 0 ? -9000 : 0))));
  }
  return samples;
}

// 100,000 frames in chunks of 30,000 (the last 10,000), lead chunks 0 and 2.
class MioSeekTest : public ::testing::TestWithParam<uint32_t> {
 protected:
  static constexpr uint32_t kFrames = 100000;
  void SetUp() override {
    samples_ = Chord(kFrames);
    ASSERT_TRUE(opened_.Open(MakeLosslessMio(samples_, 2, 44100, 30000, 2)));
  }
  std::vector<int16_t> samples_;
  Opened opened_;
};

TEST_P(MioSeekTest, BlockFromAnyFrameHoldsThatFrameOnAndSilenceAfterTheEnd) {
  mio::MioDecoder& decoder = opened_.decoder;
  decoder.Release(decoder.DecodeAt(kFrames - 1));  // leave the decoder on another chunk first
  const uint32_t frame = GetParam();
  auto block = decoder.DecodeAt(frame);
  ASSERT_EQ(block->pcm.size(), mio::MioDecoder::kBlockFrames * 4u);
  EXPECT_EQ(block->offset, 0u);
  const std::vector<int16_t> got = Samples16(block->pcm);
  const std::size_t real = std::min<std::size_t>(mio::MioDecoder::kBlockFrames, kFrames - std::min(frame, kFrames)) * 2;
  EXPECT_TRUE(std::equal(got.begin(), got.begin() + static_cast<long>(real), samples_.begin() + frame * 2));
  EXPECT_TRUE(std::all_of(got.begin() + static_cast<long>(real), got.end(), [](int16_t s) { return s == 0; }));
  auto next = decoder.NextBlock();
  const std::size_t nextFrame = frame + mio::MioDecoder::kBlockFrames;
  if (nextFrame < kFrames) {
    EXPECT_EQ(Samples16(next->pcm)[0], samples_[nextFrame * 2]);
  }
}

// In the first chunk; in a non-lead chunk (decoded from the lead before it);
// across a chunk border; in the last chunk; past the end.
INSTANTIATE_TEST_SUITE_P(Frames, MioSeekTest, ::testing::Values(0u, 45000u, 29999u, 95000u, 100000u, 250000u));

TEST(MioDecoderTest, LosslessStereoFileDecodesWhole) {
  const std::vector<int16_t> samples = Chord(70001);
  Opened opened;
  ASSERT_TRUE(opened.Open(MakeLosslessMio(samples, 2, 48000, 32768, 3)));
  EXPECT_EQ(Samples16(DecodeAll(opened.decoder)), samples);
}

// Zero runs that the coder carries from one chunk into the next: silence
// across the border of chunks 0 and 1, all of chunk 2 silent with the run
// going on into chunk 3. Each chunk's bits start with what follows the run.
TEST(MioDecoderTest, ZeroRunsGoOnAcrossChunkBorders) {
  constexpr uint32_t kChunk = 500;
  std::vector<int16_t> samples = Chord(4 * kChunk);
  std::fill(samples.begin() + 2 * (kChunk - 200), samples.begin() + 2 * (kChunk + 100), 0);
  std::fill(samples.begin() + 2 * (2 * kChunk - 3), samples.begin() + 2 * (3 * kChunk + 50), 0);
  std::vector<std::vector<uint8_t>> bytes;
  for (uint32_t c = 0; c < 4; ++c) {
    bytes.push_back(LosslessBytes16(std::vector<int16_t>(samples.begin() + 2 * c * kChunk,
                                                         samples.begin() + 2 * (c + 1) * kChunk),
                                    2));
  }
  ErinaEncoder encoder;
  const std::vector<BitWriter> bits = encoder.EncodeAcross(bytes);
  MioPlan plan;
  plan.channels = 2;
  for (uint32_t c = 0; c < 4; ++c) plan.chunks.push_back({kChunk, c == 0, bits[c].Bytes()});
  // The silent chunk's bytes are all covered by the run begun before it.
  EXPECT_EQ(bits[2].Bytes().size(), 0u);
  Opened opened;
  ASSERT_TRUE(opened.Open(MakeMio(plan)));
  EXPECT_EQ(Samples16(DecodeAll(opened.decoder)), samples);
  // From chunk 3 on its own: decoded from the lead chunk on.
  const std::vector<int16_t> tail = Samples16(opened.decoder.DecodeAt(3 * kChunk + 10)->pcm);
  EXPECT_TRUE(std::equal(samples.begin() + 2 * (3 * kChunk + 10), samples.end(), tail.begin()));
}

TEST(MioDecoderTest, CorruptChunkIsSilentUntilTheNextLeadChunk) {
  const std::vector<int16_t> samples = Chord(3000);
  std::string bytes = MakeLosslessMio(samples, 2, 44100, 1000, 2);  // leads: chunks 0 and 2
  const std::size_t first = bytes.find("SoundStm") + 24;
  bytes.replace(first, 4, "\xFF\xFF\xFF\xFF");  // a zero run of an impossible length
  Opened opened;
  ASSERT_TRUE(opened.Open(bytes));
  const std::vector<int16_t> got = Samples16(DecodeAll(opened.decoder));
  EXPECT_TRUE(std::all_of(got.begin(), got.begin() + 4000, [](int16_t s) { return s == 0; }));
  EXPECT_TRUE(std::equal(got.begin() + 4000, got.end(), samples.begin() + 4000));
}

TEST(MioDecoderTest, GammaWordVariantDecodesItsCoefficients) {
  // One lossy mono chunk of 512 frames (W = 512): division 0, so a lead and a
  // post block; all coefficients zero in one zero run.
  BitWriter bits;
  bits.Bit(0);
  bits.Bits(0, 2);
  for (int block = 0; block < 2; ++block) {
    bits.Bits(0x7BDEF7BD, 32);  // weight code
    bits.Bits(1000, 16);        // coefficient
  }
  bits.Bit(0);
  bits.Bit(0);      // the first run holds zeros
  bits.Gamma(512);  // all of them
  MioPlan plan;
  plan.transformation = 5;
  plan.architecture = 0xFFFFFFFE;
  plan.subbandDegree = 9;
  plan.lappedDegree = 1;
  plan.chunks.push_back({512, true, bits.Bytes()});
  Opened opened;
  ASSERT_TRUE(opened.Open(MakeMio(plan)));
  const std::vector<int16_t> got = Samples16(DecodeAll(opened.decoder));
  EXPECT_EQ(got, std::vector<int16_t>(512, 0));
}

struct Refused {
  const char* name;
  void (*change)(MioPlan&);
};

class MioRefusedTest : public ::testing::TestWithParam<Refused> {};

TEST_P(MioRefusedTest, OpenFails) {
  MioPlan plan;
  plan.chunks.push_back({4, true, {0x00, 0xA8, 0x00, 0x00}});
  GetParam().change(plan);
  Opened opened;
  EXPECT_FALSE(opened.Open(MakeMio(plan)));
}

INSTANTIATE_TEST_SUITE_P(
    Variants, MioRefusedTest,
    ::testing::Values(Refused{"ThreeChannels", [](MioPlan& p) { p.channels = 3; }},
                      Refused{"LosslessWithOtherCoder", [](MioPlan& p) { p.architecture = 0xFFFFFFFF; }},
                      Refused{"Lossless24Bit", [](MioPlan& p) { p.bits = 24; }},
                      Refused{"ImageTransform", [](MioPlan& p) { p.transformation = 0x03010000; }},
                      Refused{"LossyBlockTooWide", [](MioPlan& p) { p.transformation = 5, p.subbandDegree = 13, p.lappedDegree = 1; }},
                      Refused{"LossyNotLapped", [](MioPlan& p) { p.transformation = 5, p.subbandDegree = 9; }},
                      Refused{"LossyImageCoder", [](MioPlan& p) { p.transformation = 5, p.subbandDegree = 9, p.lappedDegree = 1, p.architecture = 32; }},
                      Refused{"ZeroRate", [](MioPlan& p) { p.rate = 0; }},
                      Refused{"NoChunks", [](MioPlan& p) { p.chunks.clear(); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MioDecoderTest, NotAnMioFileFails) {
  Opened opened;
  EXPECT_FALSE(opened.Open(std::string("Entis\x1A\0\0 but nothing else", 24)));
  mio::MioFile missing;
  EXPECT_FALSE(missing.Open(kMedia + "missing.mio"));
}

}  // namespace
}  // namespace qorve::test
