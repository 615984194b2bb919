// VQF against the two real copies of one TwinVQ file: what Open reports, the
// PCM it plays against ffmpeg's decoding of the same file (the same decoder
// underneath: ffmpeg drops the first two frames, so its sample 0 is our sample
// 2 × frame size), seeking by frames, no pause key; the length rule, the
// float conversion, and open failures.
#include "player/formats/audio/vqf.h"

#include "common/log.h"
#include "player/formats/media_maker.h"
#include "support/temp_home.h"
#include "vqf_maker.h"
#include "support/shared_media.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>

namespace qorve::test {
namespace {

const std::string kMedia = (SharedMedia() / "vqf").string() + "/";
constexpr int kFrameSize = 1024;  // the real files' mode: 22 kHz, 20 kbit/s mono

class VqfTest : public TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    SetWaveOutFactory([this] { return card.NewDevice(); });
  }
  void TearDown() override {
    media.reset();
    SetWaveOutFactory(nullptr);
    TempHome::TearDown();
  }
  int OpenMedia(const std::string& path) {
    media = std::make_unique<VQF>();
    return media->Open(path, "VQF", nullptr);
  }
  MediaInfo Info() const { return test::InfoOf(*media); }
  MediaState Status() { return test::StatusOf(*media); }
  std::string Write(const std::string& name, const std::string& bytes) {
    WriteFile(root() / name, bytes);
    return (root() / name).string();
  }
  // ffmpeg's decoding of `path` as 16-bit samples.
  std::vector<int16_t> Reference(const std::string& path) {
    const std::string raw = (root() / "reference.raw").string();
    EXPECT_TRUE(RunCommand("ffmpeg -v error -y -i '" + path + "' -f s16le '" + raw + "'"));
    const std::string bytes = ReadFile(raw);
    std::vector<int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
  }
  static std::vector<int16_t> Samples(const std::vector<uint8_t>& bytes) {
    std::vector<int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
  }
  // Ours from `ours` on against the reference from `reference` on, for
  // `count` samples: within ±1, or both at the limit (ours holds ±32700).
  static void ExpectClose(const std::vector<int16_t>& a, std::size_t ours, const std::vector<int16_t>& b,
                          std::size_t reference, std::size_t count) {
    ASSERT_LE(ours + count, a.size());
    ASSERT_LE(reference + count, b.size());
    std::size_t bad = 0;
    for (std::size_t i = 0; i < count; ++i) {
      const int x = a[ours + i], y = b[reference + i];
      const bool limited = std::abs(x) == 32700 && std::abs(y) >= 32700 && (x > 0) == (y > 0);
      if (std::abs(x - y) > 1 && !limited) ++bad;
    }
    EXPECT_EQ(bad, 0u);
  }

  VirtualSoundCard card;
  std::unique_ptr<VQF> media;
};

struct RealFile {
  const char* name;
  const char* title;
  const char* artist;
};

class VqfRealFileTest : public VqfTest, public ::testing::WithParamInterface<RealFile> {};

TEST_P(VqfRealFileTest, ReportsTheHeaderAndPlaysWhatFfmpegDecodes) {
  QORVE_NEED_SHARED_MEDIA();
  const RealFile file = GetParam();
  const std::string path = kMedia + file.name + ".vqf";
  ASSERT_EQ(OpenMedia(path), kResultSuccess);
  const MediaInfo info = Info();
  EXPECT_EQ(info.Kind, kKindSound);
  EXPECT_STREQ(info.Title, file.title);
  EXPECT_STREQ(info.Artist, file.artist);
  EXPECT_STREQ(info.Format, "VQF");
  EXPECT_EQ(info.SampleRate, 22050);
  EXPECT_EQ(info.Channels, 1);
  EXPECT_EQ(info.Bits, 16);
  EXPECT_EQ(info.Bitrate, 20);
  EXPECT_DOUBLE_EQ(info.Length, 300332 / 2500.0);  // both copies: file size − header size − 12 = 300,332 bytes
  if (!HaveTools({"ffmpeg"})) GTEST_SKIP() << "ffmpeg missing";
  media->Play(-1.0);
  const std::vector<int16_t> ours = Samples(PlayOnePass(card));
  EXPECT_EQ(ours.size(), 8u * 21 * kFrameSize);  // eight buffers of the 21 frames that fit in a second
  ExpectClose(ours, 2 * kFrameSize, Reference(path), 0, ours.size() - 2 * kFrameSize);
}

INSTANTIATE_TEST_SUITE_P(Files, VqfRealFileTest,
                         ::testing::Values(RealFile{"atl_vqf", "Test !!", "Artist"},
                                           RealFile{"atl_empty_notags", "", ""}),
                         [](const auto& info) { return std::string(info.param.name); });

class VqfSeekTest : public VqfTest, public ::testing::WithParamInterface<double> {};

// The reader moves to the frame that holds the time; from the third frame on
// the sound is what ffmpeg decodes there (the first two overlap what was
// decoded before the move).
TEST_P(VqfSeekTest, PlayMovesToTheFrameOfTheTime) {
  QORVE_NEED_SHARED_MEDIA();
  if (!HaveTools({"ffmpeg"})) GTEST_SKIP() << "ffmpeg missing";
  const std::string path = kMedia + "atl_vqf.vqf";
  ASSERT_EQ(OpenMedia(path), kResultSuccess);
  const double from = GetParam();
  media->Play(from);
  EXPECT_DOUBLE_EQ(Status().TimePos, from);
  const auto frame = static_cast<std::size_t>(std::floor(from * 22050 / kFrameSize));
  const std::vector<int16_t> ours = Samples(PlayOnePass(card));
  const std::vector<int16_t> reference = Reference(path);
  ExpectClose(ours, 2 * kFrameSize, reference, frame * kFrameSize, 20 * kFrameSize);
}

INSTANTIATE_TEST_SUITE_P(Times, VqfSeekTest, ::testing::Values(5.0, 60.5, 1.0));

TEST_F(VqfTest, PauseKeyDoesNothing) {
  QORVE_NEED_SHARED_MEDIA();
  ASSERT_EQ(OpenMedia(kMedia + "atl_vqf.vqf"), kResultSuccess);
  media->Play(-1.0);
  card.Advance(4000);
  media->TogglePause();
  EXPECT_EQ(Status().PlayState, kPlaying);
  media->Pause();
  EXPECT_EQ(Status().PlayState, kPaused);
}

TEST_F(VqfTest, LengthFollowsTheDataSizeAndBitRate) {
  // 80 kbit/s (44 kHz stereo at 40 each): 600,000 bytes after the header size
  // field and its chunks ("DATA" and the frames).
  const std::string chunks = VqfComm(1, 80, 44);
  const std::string path = Write("long.vqf", MakeVqf(chunks, std::string(600000 - 8, '\0')));
  ASSERT_EQ(OpenMedia(path), kResultSuccess);
  EXPECT_DOUBLE_EQ(Info().Length, 60.0);
  EXPECT_EQ(Info().Channels, 2);
  EXPECT_EQ(Info().SampleRate, 44100);
}

TEST_F(VqfTest, OpenFailures) {
  QORVE_NEED_SHARED_MEDIA();
  EXPECT_EQ(OpenMedia((root() / "missing.vqf").string()), kResultFileNotFound);
  const std::string whole = ReadFile(kMedia + "atl_vqf.vqf");
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(OpenMedia(Write("truncated.vqf", whole.substr(0, 100))), kResultWrongExtension);
  EXPECT_EQ(OpenMedia(Write("nodata.vqf", MakeVqf(VqfComm(0, 20, 22), "frames", "XXXX"))), kResultWrongExtension);
  EXPECT_EQ(OpenMedia(Write("twice.vqf", MakeVqf(VqfComm(0, 20, 22) + VqfComm(0, 20, 22), "frames"))), kResultBrokenFile);
  EXPECT_EQ(OpenMedia(Write("nomode.vqf", MakeVqf(VqfComm(0, 99, 22), "frames"))), kResultBrokenFile);
  EXPECT_EQ(OpenMedia(Write("nocomm.vqf", MakeVqf(VqfChunk("NAME", "x"), "frames"))), kResultBrokenFile);
  std::string otherVersion = whole;
  otherVersion.replace(0, 12, "TWIN98765432");
  EXPECT_EQ(OpenMedia(Write("version.vqf", otherVersion)), kResultBrokenFile);
  const std::string errors = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(errors.find("Failed to read header. Check the bitstream file.\n"), std::string::npos);
  EXPECT_NE(errors.find("TwinVQ format error. No \"DATA\" chunk was found.\n"), std::string::npos);
  EXPECT_NE(errors.find("Program is stopped due to an error in bitstream reader initialization.\n"), std::string::npos);
  card.FailOpens(MMSYSERR_ALLOCATED);
  EXPECT_EQ(OpenMedia(kMedia + "atl_vqf.vqf"), kResultDeviceInUse);
}

struct Conversion {
  float in;
  int16_t out;
};

class TvqFloatToPcmTest : public ::testing::TestWithParam<Conversion> {};

TEST_P(TvqFloatToPcmTest, HoldsToTheLimitAndRoundsHalfAway) {
  const float in[2] = {GetParam().in, -GetParam().in};
  int16_t out[2] = {};
  TvqFloatToPcm(in, out, 1, 2);  // one sample of two channels: interleaved
  EXPECT_EQ(out[0], GetParam().out);
  EXPECT_EQ(out[1], -GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(Values, TvqFloatToPcmTest,
                         ::testing::Values(Conversion{40000.0f, 32700}, Conversion{0.4f, 0}, Conversion{0.6f, 1},
                                           Conversion{32699.5f, 32700}, Conversion{1234.49f, 1234}));

}  // namespace
}  // namespace qorve::test
