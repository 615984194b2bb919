// MIO against the two real files and lossless files made here: what Open
// reports, the PCM it plays (the reference output, then silence), the sample
// Play starts at, seeking across chunks, tags, pausing, open failures.
#include "player/formats/audio/mio.h"

#include "common/log.h"
#include "common/settings.h"
#include "libs/mio/mio_maker.h"
#include "platform/system/text.h"
#include "player/formats/media_maker.h"
#include "support/shared_media.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>

namespace qorve::test {
namespace {

const std::string kMedia = (SharedMedia() / "mio").string() + "/";

class MioTest : public TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    SetWaveOutFactory([this] { return card.NewDevice(); });
  }
  void TearDown() override {
    media.reset();
    SetWaveOutFactory(nullptr);
    CloseLog();
    TempHome::TearDown();
  }
  int OpenMedia(const std::string& path) {
    media = std::make_unique<MIO>();
    return media->Open(path, "MIO", nullptr);
  }
  MediaInfo Info() const { return test::InfoOf(*media); }
  MediaState Status() { return test::StatusOf(*media); }
  std::string Write(const std::string& name, const std::string& bytes) {
    WriteFile(root() / name, bytes);
    return (root() / name).string();
  }

  VirtualSoundCard card;
  std::unique_ptr<MIO> media;
};

// 44,100 Hz stereo, 3 s: chunks of 32,768 frames, lead chunks 0 and 3.
std::vector<int16_t> Piece() {
  std::vector<int16_t> samples;
  for (uint32_t i = 0; i < 3 * 44100; ++i) {
    samples.push_back(static_cast<int16_t>(std::lround(20000 * std::sin(i * 0.05))));
    samples.push_back(static_cast<int16_t>(i));  // the frame number (mod 2^16): shows where a pass starts
  }
  return samples;
}

std::vector<uint8_t> Bytes(const std::vector<int16_t>& samples, std::size_t firstFrame) {
  std::vector<uint8_t> out((samples.size() - firstFrame * 2) * 2);
  std::memcpy(out.data(), samples.data() + firstFrame * 2, out.size());
  return out;
}

struct RealFile {
  const char* name;
  int channels;
  double length;
};

class MioRealFileTest : public MioTest, public ::testing::WithParamInterface<RealFile> {};

TEST_P(MioRealFileTest, PlaysTheReferenceOutputThenSilence) {
  QORVE_NEED_SHARED_MEDIA();
  const RealFile file = GetParam();
  ASSERT_EQ(OpenMedia(kMedia + file.name + ".mio"), kResultSuccess);
  const MediaInfo info = Info();
  EXPECT_EQ(info.Kind, kKindSound);
  EXPECT_EQ(info.Channels, file.channels);
  EXPECT_EQ(info.SampleRate, 22050);
  EXPECT_EQ(info.Bits, 16);
  EXPECT_DOUBLE_EQ(info.Length, file.length);
  EXPECT_STREQ(info.FileName, (std::string(file.name) + ".mio").c_str());
  EXPECT_STREQ(info.Format, "MIO");
  EXPECT_STREQ(info.Title, "");  // neither file has tags
  media->Play(-1.0);
  const std::vector<uint8_t> played = PlayOnePass(card);
  const std::string reference = WavData(kMedia + file.name + "-out.wav");
  const std::size_t bytes = static_cast<std::size_t>(std::lround(file.length * 22050)) * 2 * file.channels;
  ASSERT_GE(played.size(), bytes + 1000);
  // The reference carries the last chunk's padding; compare the file's frames.
  const std::size_t frames = file.channels == 1 ? 110836 : 19912;
  const std::size_t real = frames * 2 * file.channels;
  EXPECT_EQ(std::memcmp(played.data(), reference.data(), real), 0);
  EXPECT_TRUE(std::all_of(played.begin() + static_cast<long>(real), played.end(), [](uint8_t b) { return b == 0; }));
}

INSTANTIATE_TEST_SUITE_P(Files, MioRealFileTest,
                         ::testing::Values(RealFile{"SE_017", 1, 5.027}, RealFile{"explosion", 2, 0.903}),
                         [](const auto& info) { return std::string(info.param.name); });

class MioSeekTest : public MioTest, public ::testing::WithParamInterface<double> {};

// Play(2.5) at 44,100 Hz starts at sample 110,250; others inside non-lead
// chunks and on a chunk border.
TEST_P(MioSeekTest, PlayStartsAtTheSampleOfTheTime) {
  const std::vector<int16_t> samples = Piece();
  ASSERT_EQ(OpenMedia(Write("piece.mio", MakeLosslessMio(samples, 2, 44100, 32768, 3))), kResultSuccess);
  const double from = GetParam();
  media->Play(from);
  EXPECT_DOUBLE_EQ(Status().TimePos, from);
  const auto first = static_cast<std::size_t>(std::floor(from * 44100));
  const std::vector<uint8_t> expected = Bytes(samples, first);
  const std::vector<uint8_t> played = PlayOnePass(card);
  ASSERT_GE(played.size(), expected.size());
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), played.begin())) << "from " << from;
  EXPECT_TRUE(std::all_of(played.begin() + static_cast<long>(expected.size()), played.end(), [](uint8_t b) { return b == 0; }));
}

INSTANTIATE_TEST_SUITE_P(Times, MioSeekTest, ::testing::Values(2.5, 0.0, 1.0, 32768.0 / 44100, 2.99));

TEST_F(MioTest, TagsOfTheUtf16DescriptionReachTheInfo) {
  const std::string description = "\xFF\xFE" + Utf8ToUtf16Le("#title\r\n夜の曲\r\n#vocal-player\r\n歌い手\r\n#genre\r\nBGM\r\n");
  ASSERT_EQ(OpenMedia(Write("tagged.mio", MakeLosslessMio(Piece(), 2, 44100, 32768, 1, description))), kResultSuccess);
  const MediaInfo info = Info();
  EXPECT_STREQ(info.Title, "夜の曲");
  EXPECT_STREQ(info.Artist, "歌い手");
  EXPECT_STREQ(info.Genre, "BGM");
  EXPECT_DOUBLE_EQ(info.Length, 3.0);
}

TEST_F(MioTest, TogglePauseWhilePausedRestartsAtZero) {
  const std::vector<int16_t> samples = Piece();
  ASSERT_EQ(OpenMedia(Write("piece.mio", MakeLosslessMio(samples, 2, 44100, 32768, 3))), kResultSuccess);
  media->Play(1.0);
  card.Advance(4000);
  media->TogglePause();
  EXPECT_EQ(Status().PlayState, kPaused);
  media->TogglePause();
  EXPECT_EQ(Status().PlayState, kPlaying);
  EXPECT_DOUBLE_EQ(Status().TimePos, 0.0);
  const std::vector<uint8_t> played = PlayOnePass(card);
  const std::vector<uint8_t> all = Bytes(samples, 0);
  EXPECT_TRUE(std::equal(all.begin(), all.end(), played.begin()));
}

TEST_F(MioTest, OpenFailures) {
  ProgramSettings().kestravoxLog = 1;
  EXPECT_EQ(OpenMedia((root() / "missing.mio").string()), kResultFileNotFound);
  EXPECT_NE(ReadFile(settingsFolder() / "LOG.TXT").find("MIOタグ情報取得失敗"), std::string::npos);
  EXPECT_EQ(OpenMedia(Write("text.mio", "#TITLE\r\nnot sound\r\n")), kResultWrongExtension);
  EXPECT_STREQ(Info().Title, "not sound");  // the tags are read before the sound
  MioPlan unsupported;
  unsupported.channels = 6;
  unsupported.chunks.push_back({4, true, {0x00, 0xA8, 0x00, 0x00}});
  EXPECT_EQ(OpenMedia(Write("six.mio", MakeMio(unsupported))), kResultWrongExtension);
  // Lossy, subbands of 256 split in eight: blocks too short to dequantise
  // are refused, not played as silence.
  LossyChunkPlan split{256, true, {3}, std::vector<int32_t>(256, 5)};
  EXPECT_EQ(OpenMedia(Write("split.mio", MakeLossyMio(5, LossyCoder::GammaWords, 1, 8, {split}))),
            kResultWrongExtension);
  QORVE_NEED_SHARED_MEDIA();
  card.FailOpens(MMSYSERR_ALLOCATED);
  EXPECT_EQ(OpenMedia(kMedia + "explosion.mio"), kResultDeviceInUse);
}

}  // namespace
}  // namespace qorve::test
