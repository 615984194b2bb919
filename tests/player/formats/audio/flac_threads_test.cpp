// FLAC against files encoded here with libFLAC from known samples: every
// sample width and channel count plays losslessly in the format the stream
// is opened with, frames larger than the accumulator, seeking by whole
// seconds (also after the end was reached), pausing, tags and open failures.
#include "player/formats/audio/flac.h"

#include "common/log.h"
#include "common/settings.h"
#include "player/formats/media_maker.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace qorve::test {
namespace {

// The bytes the output format holds for `samples` at `bits` in a file.
std::vector<uint8_t> Expected(const std::vector<int32_t>& samples, uint32_t bits) {
  const uint32_t width = bits <= 8 ? 8 : bits <= 16 ? 16 : bits <= 24 ? 24 : 32;
  std::vector<uint8_t> out;
  for (int32_t sample : samples) {
    const uint32_t v = static_cast<uint32_t>(sample) << (width - bits);
    if (width == 8) {
      out.push_back(static_cast<uint8_t>(v + 128));
      continue;
    }
    for (uint32_t b = 0; b < width / 8; ++b) out.push_back(static_cast<uint8_t>(v >> (8 * b)));
  }
  return out;
}

class FlacTest : public TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    SetWaveOutFactory([this] {
      auto device = card.NewDevice();
      return device;
    });
  }
  void TearDown() override {
    media.reset();
    SetWaveOutFactory(nullptr);
    CloseLog();
    TempHome::TearDown();
  }

  std::string Encode(const FlacPlan& plan, const std::string& name = "t.flac") {
    const std::string path = (root() / name).string();
    EXPECT_TRUE(EncodeFlac(plan, path));
    return path;
  }
  int OpenMedia(const std::string& path) {
    media = std::make_unique<FLAC>();
    return media->Open(path, "FLAC", nullptr);
  }
  MediaInfo Info() const { return test::InfoOf(*media); }
  MediaState Status() { return test::StatusOf(*media); }
  // Plays from `from` for one ring pass; the head must be `expected`, the rest silence.
  void ExpectPass(double from, const std::vector<uint8_t>& expected, uint8_t silence) {
    media->Play(from);
    const std::vector<uint8_t> played = PlayOnePass(card);
    ASSERT_GE(played.size(), expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), played.begin())) << "from " << from;
    EXPECT_EQ(std::count(played.begin() + static_cast<long>(expected.size()), played.end(), silence),
              static_cast<long>(played.size() - expected.size()));
  }

  VirtualSoundCard card;
  std::unique_ptr<FLAC> media;
};

struct Width {
  uint32_t channels;
  uint32_t bits;
};

class FlacWidthTest : public FlacTest, public ::testing::WithParamInterface<Width> {};

TEST_P(FlacWidthTest, PlaysEverySampleInTheOpenedFormatThenSilence) {
  const auto [channels, bits] = GetParam();
  FlacPlan plan;
  plan.channels = channels;
  plan.bits = bits;
  plan.samples = ChordSamples(2 * 44100 + 777, channels, bits);
  ASSERT_EQ(OpenMedia(Encode(plan)), kResultSuccess);
  const MediaInfo info = Info();
  EXPECT_EQ(info.Bits, bits);  // the file's own depth
  EXPECT_EQ(info.Channels, channels);
  EXPECT_EQ(info.SampleRate, 44100);
  EXPECT_DOUBLE_EQ(info.Length, 2.018);  // 88977 frames, to the millisecond
  EXPECT_DOUBLE_EQ(media->SoundEndSeconds(), 88977.0 / 44100.0);  // to the sample
  ExpectPass(-1.0, Expected(plan.samples, bits), bits <= 8 ? 0x80 : 0x00);
}

INSTANTIATE_TEST_SUITE_P(Widths, FlacWidthTest,
                         ::testing::Values(Width{2, 16}, Width{1, 16}, Width{2, 8}, Width{1, 8}, Width{2, 24},
                                           Width{1, 24}, Width{2, 20}, Width{2, 12}, Width{6, 16}),
                         [](const auto& info) {
                           return std::to_string(info.param.channels) + "ch" + std::to_string(info.param.bits) + "bit";
                         });

TEST_F(FlacTest, FramesLargerThanTheAccumulatorPlayWhole) {
  FlacPlan plan;
  plan.channels = 8;
  plan.blockSize = 65535;  // 8 × 65535 values: twice what the accumulator starts with
  plan.samples = ChordSamples(2 * 65535 + 100, 8, 16);
  ASSERT_EQ(OpenMedia(Encode(plan)), kResultSuccess);
  ExpectPass(-1.0, Expected(plan.samples, 16), 0);
}

TEST_F(FlacTest, PlaysFromTheWholeSecondAlsoAfterTheEndWasReached) {
  FlacPlan plan;
  plan.samples = ChordSamples(3 * 44100, 2, 16);
  ASSERT_EQ(OpenMedia(Encode(plan)), kResultSuccess);
  const std::vector<uint8_t> all = Expected(plan.samples, 16);
  ExpectPass(-1.0, all, 0);  // decodes to the end of the stream
  media->Play(1.7);
  EXPECT_DOUBLE_EQ(Status().TimePos, 1.7);
  ExpectPass(1.7, std::vector<uint8_t>(all.begin() + 44100 * 4, all.end()), 0);
  ExpectPass(0.0, all, 0);
  ExpectPass(3.0, {}, 0);   // the end exactly
  ExpectPass(99.0, {}, 0);  // far past it
  ExpectPass(2.0, std::vector<uint8_t>(all.begin() + 2 * 44100 * 4, all.end()), 0);
}

TEST_F(FlacTest, TogglePauseWhilePausedRestartsAtZero) {
  FlacPlan plan;
  plan.samples = ChordSamples(2 * 44100, 2, 16);
  ASSERT_EQ(OpenMedia(Encode(plan)), kResultSuccess);
  media->Play(1.0);
  card.Advance(4000);
  media->TogglePause();
  EXPECT_EQ(Status().PlayState, kPaused);
  media->TogglePause();
  EXPECT_EQ(Status().PlayState, kPlaying);
  EXPECT_DOUBLE_EQ(Status().TimePos, 0.0);
  const std::vector<uint8_t> played = PlayOnePass(card);
  const std::vector<uint8_t> all = Expected(plan.samples, 16);
  ASSERT_GE(played.size(), all.size());
  EXPECT_TRUE(std::equal(all.begin(), all.end(), played.begin()));
}

struct TagCase {
  const char* name;
  uint32_t paddingBefore;
  std::vector<std::string> comments;
  const char* title;
  const char* artist;
  const char* album;
};

class FlacTagTest : public FlacTest, public ::testing::WithParamInterface<TagCase> {};

TEST_P(FlacTagTest, TagsComeFromTheFirstKilobyte) {
  const TagCase& tags = GetParam();
  FlacPlan plan;
  plan.samples = ChordSamples(4410, 2, 16);
  plan.comments = tags.comments;
  plan.paddingBeforeComments = tags.paddingBefore;
  ASSERT_EQ(OpenMedia(Encode(plan)), kResultSuccess);
  const MediaInfo info = Info();
  EXPECT_STREQ(info.Title, tags.title);
  EXPECT_STREQ(info.Artist, tags.artist);
  EXPECT_STREQ(info.Album, tags.album);
  EXPECT_STREQ(info.Genre, "");  // never read
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FlacTagTest,
    ::testing::Values(
        TagCase{"InsideTheFirstKilobyte", 0, {"TITLE=星空", "ARTIST=歌手", "ALBUM=Best", "GENRE=Pop"}, "星空", "歌手",
                "Best"},
        TagCase{"LowerCaseNames", 0, {"title=a", "artist=b"}, "a", "b", ""},
        TagCase{"BeyondTheFirstKilobyte", 1200, {"TITLE=late", "ARTIST=late"}, "", "", ""},
        TagCase{"LookAlikesDoNotCount", 0, {"SUBTITLE=sub", "ALBUMARTIST=various", "ARTISTSORT=x"}, "", "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FlacTest, OpenFailures) {
  ProgramSettings().kestravoxLog = 1;
  EXPECT_EQ(OpenMedia((root() / "missing.flac").string()), kResultWrongExtension);
  EXPECT_NE(ReadFile(settingsFolder() / "LOG.TXT").find("FLACタグ情報取得失敗"), std::string::npos);

  WriteFile(root() / "bad.flac", "fLaC but nothing after it");
  EXPECT_EQ(OpenMedia((root() / "bad.flac").string()), kResultWrongExtension);

  FlacPlan plan;
  plan.samples = ChordSamples(4410, 2, 16);
  const std::string good = Encode(plan);
  card.FailOpens(MMSYSERR_ALLOCATED);
  EXPECT_EQ(OpenMedia(good), kResultDeviceInUse);
  media.reset();
  const std::string log = ReadFile(settingsFolder() / "LOG.TXT");
  EXPECT_NE(log.find("\"FLACコンストラクタ\""), std::string::npos);
  EXPECT_NE(log.find("\"FLACデストラクタ\""), std::string::npos);
}

}  // namespace
}  // namespace qorve::test
