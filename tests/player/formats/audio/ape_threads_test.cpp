// APE against the Monkey's Audio files of the shared media folder: what Open
// reports, the PCM it plays compared with ffmpeg's decoding, seeking by block,
// open failures, and APE tags appended to a copy of a file at test time.
#include "player/formats/audio/ape.h"

#include "player/formats/media_maker.h"
#include "support/shared_media.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace qorve::test {
namespace {

const std::string kApeFolder = (SharedMedia() / "ape").string() + "/";

std::string Le32(uint32_t v) {
  return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
}

// An APE tag of `version` (1000 or 2000) with the given items, footer only.
std::string ApeTag(uint32_t version, const std::vector<std::pair<std::string, std::string>>& items) {
  std::string body;
  for (const auto& [key, value] : items) body += Le32(static_cast<uint32_t>(value.size())) + Le32(0) + key + '\0' + value;
  const std::string footer = "APETAGEX" + Le32(version) + Le32(static_cast<uint32_t>(body.size() + 32)) +
                             Le32(static_cast<uint32_t>(items.size())) + Le32(0) + std::string(8, '\0');
  return body + footer;
}

class ApeTest : public TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    if (!HaveTools({"ffmpeg"})) GTEST_SKIP() << "ffmpeg missing";
    SetWaveOutFactory([this] { return card.NewDevice(); });
  }
  void TearDown() override {
    media.reset();
    SetWaveOutFactory(nullptr);
    TempHome::TearDown();
  }
  std::string Reference(const std::string& path) {
    const std::string raw = (root() / "reference.raw").string();
    EXPECT_TRUE(RunCommand("ffmpeg -v quiet -y -i '" + path + "' -f s16le '" + raw + "'"));
    return ReadFile(raw);
  }
  int OpenMedia(const std::string& path) {
    media = std::make_unique<APE>();
    return media->Open(path, "APE", nullptr);
  }
  MediaInfo Info() const { return test::InfoOf(*media); }
  MediaState Status() { return test::StatusOf(*media); }

  VirtualSoundCard card;
  std::unique_ptr<APE> media;
};

struct RealFile {
  const char* name;
  double length;
  const char* codec;
  const char* title;
  const char* album;
};

class ApeRealFileTest : public ApeTest, public ::testing::WithParamInterface<RealFile> {};

TEST_P(ApeRealFileTest, ReportsFormatLengthCodecAndTagsAndPlaysWhatFfmpegDecodes) {
  QORVE_NEED_SHARED_MEDIA();
  const std::string path = kApeFolder + GetParam().name;
  const std::string reference = Reference(path);
  ASSERT_EQ(OpenMedia(path), kResultSuccess);
  const MediaInfo info = Info();
  EXPECT_EQ(info.Kind, kKindSound);
  EXPECT_STREQ(info.Format, "APE");
  EXPECT_STREQ(info.FileName, GetParam().name);
  EXPECT_DOUBLE_EQ(info.Length, GetParam().length);
  EXPECT_STREQ(info.Codec, GetParam().codec);
  EXPECT_STREQ(info.Title, GetParam().title);
  EXPECT_STREQ(info.Album, GetParam().album);
  EXPECT_EQ(info.SampleRate, 44100);
  EXPECT_EQ(info.Channels, 2);
  EXPECT_EQ(info.Bits, 16);

  media->Play(-1.0);
  const std::vector<uint8_t> played = PlayOnePass(card);
  ASSERT_GT(played.size(), reference.size());  // 8 s of ring, at most 7.7 s of sound
  EXPECT_EQ(std::memcmp(played.data(), reference.data(), reference.size()), 0);
  for (std::size_t i = reference.size(); i < played.size(); ++i) ASSERT_EQ(played[i], 0) << "byte " << i;
}

INSTANTIATE_TEST_SUITE_P(
    Files, ApeRealFileTest,
    ::testing::Values(RealFile{"atl_v394.ape", 7.645, "APE(NORMAL)", "", ""},
                      RealFile{"atl_v399_tagged.ape", 7.645, "APE(NORMAL)", "Title", "父"},
                      RealFile{"taglib_mac-399.ape", 3.55, "APE(HIGH)", "", ""},
                      // Despite its name a complete file: one frame of digital
                      // silence whose CRC matches.
                      RealFile{"taglib_mac-396_hdronly.ape", 3.684, "APE(NORMAL)", "", ""}),
    [](const auto& info) { return std::to_string(info.index); });

TEST_F(ApeTest, PlayFromSecondsStartsAtTheBlockOfThatShareOfTheFile) {
  QORVE_NEED_SHARED_MEDIA();
  const std::string path = kApeFolder + "atl_v394.ape";
  const std::string reference = Reference(path);
  ASSERT_EQ(OpenMedia(path), kResultSuccess);
  const std::size_t totalBlocks = reference.size() / 4;
  for (const double from : {3.0, 7.0}) {
    media->Play(from);
    EXPECT_DOUBLE_EQ(Status().TimePos, from);
    const auto block = static_cast<std::size_t>(from / Info().Length * static_cast<double>(totalBlocks));
    const std::string tail = reference.substr(block * 4);
    const std::vector<uint8_t> played = PlayOnePass(card);
    ASSERT_GE(played.size(), tail.size());
    EXPECT_EQ(std::memcmp(played.data(), tail.data(), tail.size()), 0) << from;
  }
  // Past the end: silence, not the start again.
  media->Play(60.0);
  const std::vector<uint8_t> played = PlayOnePass(card);
  EXPECT_EQ(std::count(played.begin(), played.end(), 0), static_cast<long>(played.size()));
}

TEST_F(ApeTest, TogglePauseWhilePausedRestartsAtZero) {
  QORVE_NEED_SHARED_MEDIA();
  ASSERT_EQ(OpenMedia(kApeFolder + "taglib_mac-399.ape"), kResultSuccess);
  media->Play(2.0);
  card.Advance(4 * 4410);
  media->TogglePause();
  EXPECT_EQ(Status().PlayState, kPaused);
  EXPECT_NEAR(Status().TimePos, 2.1, 1e-9);
  media->TogglePause();
  EXPECT_EQ(Status().PlayState, kPlaying);
  EXPECT_DOUBLE_EQ(Status().TimePos, 0.0);
  media->Stop();
  EXPECT_EQ(Status().PlayState, kStopped);
}

TEST_F(ApeTest, TagFieldsMatchInAnyCaseAndVersionOneTextIsTakenAsCp932) {
  QORVE_NEED_SHARED_MEDIA();
  const std::string audio = ReadFile(kApeFolder + "taglib_mac-399.ape");
  const std::string v2 = (root() / "v2.ape").string();
  WriteFile(v2, audio + ApeTag(2000, {{"Title", "夜明け"}, {"aRTIST", "歌手"}, {"Genre", "Jazz"}, {"Year", "1999"}}) +
                    "TAG" + std::string(125, ' '));  // an ID3v1 tag behind it
  ASSERT_EQ(OpenMedia(v2), kResultSuccess);
  EXPECT_STREQ(Info().Title, "夜明け");
  EXPECT_STREQ(Info().Artist, "歌手");
  EXPECT_STREQ(Info().Genre, "Jazz");
  EXPECT_STREQ(Info().Album, "");

  const std::string v1 = (root() / "v1.ape").string();
  WriteFile(v1, audio + ApeTag(1000, {{"ALBUM", std::string("\x93\xfa\x96\x7b", 4) + '\0'}}));  // 日本 in CP932
  ASSERT_EQ(OpenMedia(v1), kResultSuccess);
  EXPECT_STREQ(Info().Album, "日本");
}

struct OpenFailure {
  const char* name;
  std::string content;  // "" with a shared file name: that file
  bool deviceFails;
  int result;
};

class ApeOpenFailureTest : public ApeTest, public ::testing::WithParamInterface<OpenFailure> {};

TEST_P(ApeOpenFailureTest, ReportsWhyItCannotPlay) {
  const OpenFailure& failure = GetParam();
  std::string path = (root() / "x.ape").string();
  if (!failure.content.empty()) WriteFile(path, failure.content);
  if (std::string(failure.name) == "HeaderWithoutFrames" || failure.deviceFails) QORVE_NEED_SHARED_MEDIA();
  if (std::string(failure.name) == "HeaderWithoutFrames") path = kApeFolder + "taglib_mac-390_hdronly.ape";
  if (failure.deviceFails) {
    path = kApeFolder + "taglib_mac-399.ape";
    card.FailOpens(MMSYSERR_ALLOCATED);
  }
  EXPECT_EQ(OpenMedia(path), failure.result);
  media.reset();  // a half-opened object is deleted cleanly
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ApeOpenFailureTest,
    ::testing::Values(OpenFailure{"MissingFile", "", false, kResultWrongExtension},
                      OpenFailure{"HeaderWithoutFrames", "", false, kResultWrongExtension},
                      OpenFailure{"NotMonkeysAudio", "MAC but nothing else", false, kResultWrongExtension},
                      OpenFailure{"DeviceBusy", "", true, kResultDeviceInUse}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ApeCodecText, NamesTheFourLevelsAndNoOther) {
  EXPECT_STREQ(ApeCodecText(1000), "APE(FAST)");
  EXPECT_STREQ(ApeCodecText(3000), "APE(HIGH)");
  EXPECT_STREQ(ApeCodecText(4000), "APE(EXTRA_HIGH)");
  EXPECT_STREQ(ApeCodecText(5000), "");
}

}  // namespace
}  // namespace qorve::test
