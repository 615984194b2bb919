// OGG against files made by sox and oggenc: what Open reports, the PCM it
// plays compared with oggdec's, silence after the end, seeking, pausing, and
// chained files (oggenc outputs one after another).
#include "player/formats/audio/ogg.h"

#include "player/audio/wave_out_stream.h"
#include "player/formats/media_maker.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace qorve::test {
namespace {

class OggTest : public TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    if (!HaveTools({"sox", "oggenc", "oggdec"})) GTEST_SKIP() << "sox, oggenc or oggdec missing";
    SetWaveOutFactory([this] { return card.NewDevice(); });
  }
  void TearDown() override {
    media.reset();
    SetWaveOutFactory(nullptr);
    TempHome::TearDown();
  }

  // A 2.5-second piece at `rate` with `channels`, encoded with `tags` (oggenc
  // options); returns its path.
  std::string MakeOgg(const std::string& name, int rate, int channels, const std::string& tags = "") {
    const std::string wav = (root() / (name + ".wav")).string();
    const std::string ogg = (root() / (name + ".ogg")).string();
    EXPECT_TRUE(RunCommand("sox -n -r " + std::to_string(rate) + " -c " + std::to_string(channels) + " -b 16 '" + wav +
                    "' synth 2.5 pluck 220 sine 330 fade 0 2.5 0.4"));
    // A stream serial number of its own: oggenc draws one from the clock, so
    // two files made in the same second could share it, and chained they
    // would read as one broken link.
    static int serial = 1000;
    EXPECT_TRUE(RunCommand("oggenc -Q -s " + std::to_string(++serial) + " " + tags + " '" + wav + "' -o '" + ogg + "'"));
    return ogg;
  }
  std::string Reference(const std::string& ogg) {
    const std::string wav = ogg + ".ref.wav";
    EXPECT_TRUE(RunCommand("oggdec -Q '" + ogg + "' -o '" + wav + "'"));
    return WavData(wav);
  }
  int OpenMedia(const std::string& path) {
    media = std::make_unique<OGG>();
    return media->Open(path, "OGG", nullptr);
  }
  MediaInfo Info() const { return test::InfoOf(*media); }
  MediaState Status() { return test::StatusOf(*media); }

  VirtualSoundCard card;
  std::unique_ptr<OGG> media;
};

TEST_F(OggTest, OpenReportsStreamFormatLengthAndComments) {
  const std::string path = MakeOgg("tagged", 48000, 1,
                                   "-t '夜明けの歌' -a 'アーティスト' -l 'Album ★' -c 'COMMENT=no genre here'");
  ASSERT_EQ(OpenMedia(path), kResultSuccess);
  const MediaInfo info = Info();
  EXPECT_EQ(info.Kind, kKindSound);
  EXPECT_STREQ(info.Format, "OGG");
  EXPECT_STREQ(info.FileName, "tagged.ogg");
  EXPECT_STREQ(info.Title, "夜明けの歌");
  EXPECT_STREQ(info.Artist, "アーティスト");
  EXPECT_STREQ(info.Album, "Album ★");
  EXPECT_STREQ(info.Genre, "");
  EXPECT_DOUBLE_EQ(info.Length, 2.5);
  EXPECT_EQ(info.SampleRate, 48000);
  EXPECT_EQ(info.Channels, 1);
  EXPECT_EQ(info.Bits, 16);
  EXPECT_GT(info.Bitrate, 30);
  EXPECT_LT(info.Bitrate, 300);
  EXPECT_EQ(Status().PlayState, kStopped);
}

TEST_F(OggTest, CommentOver128BytesIsCutAtACharacterBoundary) {
  std::string title;
  for (int i = 0; i < 60; ++i) title += "あ";  // 180 bytes
  ASSERT_EQ(OpenMedia(MakeOgg("long", 44100, 2, "-t '" + title + "' -G 'ジャズ'")), kResultSuccess);
  const MediaInfo info = Info();
  EXPECT_EQ(std::string(info.Title), title.substr(0, 126));  // 42 whole characters fit 127 bytes
  EXPECT_STREQ(info.Genre, "ジャズ");
}

struct OpenFailure {
  const char* name;
  const char* content;  // null: no file
  bool deviceFails;
  int result;
};

class OggOpenFailureTest : public OggTest, public ::testing::WithParamInterface<OpenFailure> {};

TEST_P(OggOpenFailureTest, ReportsWhyItCannotPlay) {
  const OpenFailure& failure = GetParam();
  std::string path = (root() / "x.ogg").string();
  if (failure.content != nullptr) WriteFile(path, failure.content);
  if (failure.deviceFails) {
    path = MakeOgg("good", 44100, 2);
    card.FailOpens(MMSYSERR_ALLOCATED);
  }
  EXPECT_EQ(OpenMedia(path), failure.result);
  media.reset();  // a half-opened object is deleted cleanly
}

INSTANTIATE_TEST_SUITE_P(Cases, OggOpenFailureTest,
                         ::testing::Values(OpenFailure{"MissingFile", nullptr, false, kResultFileNotFound},
                                           OpenFailure{"NotVorbis", "OggS but not really a stream", false,
                                                       kResultWrongExtension},
                                           OpenFailure{"DeviceBusy", nullptr, true, kResultDeviceInUse}),
                         [](const auto& info) { return std::string(info.param.name); });

struct Shape {
  int rate;
  int channels;
};

// `played` is `sound` to the byte, then silence to its end.
void ExpectSoundThenSilence(const std::vector<uint8_t>& played, const std::string& sound) {
  ASSERT_GT(played.size(), sound.size());
  EXPECT_EQ(std::memcmp(played.data(), sound.data(), sound.size()), 0);
  EXPECT_EQ(std::count(played.begin() + static_cast<long>(sound.size()), played.end(), 0),
            static_cast<long>(played.size() - sound.size()));
}

class OggPcmTest : public OggTest, public ::testing::WithParamInterface<Shape> {};

TEST_P(OggPcmTest, PlaysWhatOggdecDecodesThenSilence) {
  const std::string path = MakeOgg("pcm", GetParam().rate, GetParam().channels);
  const std::string reference = Reference(path);
  ASSERT_EQ(OpenMedia(path), kResultSuccess);
  media->Play(-1.0);
  // The ring holds 8 s, the piece 2.5 s: the fill that reaches the end, and
  // every one after it, is silent.
  ExpectSoundThenSilence(PlayOnePass(card), reference);
}

INSTANTIATE_TEST_SUITE_P(Shapes, OggPcmTest, ::testing::Values(Shape{44100, 1}, Shape{44100, 2}, Shape{48000, 2}),
                         [](const auto& info) {
                           return std::to_string(info.param.rate) + "Hz" + std::to_string(info.param.channels) + "ch";
                         });

// The PCM of each link is compared with oggdec's of the link on its own:
// oggdec itself, given a chained file, starts where libvorbisfile leaves a
// freshly opened file, at the second link.
std::string Chain(const std::vector<std::string>& links, const std::filesystem::path& path) {
  std::string bytes;
  for (const std::string& link : links) bytes += ReadFile(link);
  WriteFile(path, bytes);
  return path.string();
}

TEST_F(OggTest, ChainedLinksOfOneFormatPlayOneAfterAnother) {
  const std::string first = MakeOgg("first", 44100, 2, "-t 'Erste' -a 'Eins' -l 'Kette' -G 'Pop'");
  const std::string second = MakeOgg("second", 44100, 2, "-t 'Zweite' -a 'Zwei' -G 'Jazz'");
  const std::string reference = Reference(first) + Reference(second);
  ASSERT_EQ(OpenMedia(Chain({first, second}, root() / "chain.ogg")), kResultSuccess);
  const MediaInfo info = Info();
  EXPECT_DOUBLE_EQ(info.Length, 5.0);
  EXPECT_EQ(info.SampleRate, 44100);
  EXPECT_EQ(info.Channels, 2);
  // The comments are the first link's.
  EXPECT_STREQ(info.Title, "Erste");
  EXPECT_STREQ(info.Artist, "Eins");
  EXPECT_STREQ(info.Album, "Kette");
  EXPECT_STREQ(info.Genre, "Pop");

  media->Play(-1.0);
  std::vector<uint8_t> played = PlayOnePass(card);
  ExpectSoundThenSilence(played, reference);

  media->Play(3.0);  // inside the second link
  played = PlayOnePass(card);
  const std::string tail = reference.substr(3 * 44100 * 4);
  ASSERT_GE(played.size(), tail.size());
  EXPECT_EQ(std::memcmp(played.data(), tail.data(), tail.size()), 0);
}

// The output keeps the first link's rate and channels; a link of another
// rate or channel count would play as noise at the wrong speed, so the sound
// ends where the first such link begins, as oggdec ends it, and the length
// counts only the links before it.
TEST_F(OggTest, ChainedFileEndsWhereTheFormatChanges) {
  const std::string first = MakeOgg("first", 44100, 2, "-t 'Erste'");
  const std::string mono = MakeOgg("mono", 22050, 1, "-t 'Mono'");
  const std::string third = MakeOgg("third", 44100, 2);
  const std::string reference = Reference(first);
  ASSERT_EQ(OpenMedia(Chain({first, mono, third}, root() / "mixed.ogg")), kResultSuccess);
  const MediaInfo info = Info();
  EXPECT_DOUBLE_EQ(info.Length, 2.5);
  EXPECT_EQ(info.SampleRate, 44100);
  EXPECT_EQ(info.Channels, 2);
  EXPECT_STREQ(info.Title, "Erste");

  media->Play(-1.0);
  std::vector<uint8_t> played = PlayOnePass(card);
  ExpectSoundThenSilence(played, reference);

  media->Play(3.0);  // the mono link's time
  played = PlayOnePass(card);
  ASSERT_FALSE(played.empty());
  EXPECT_EQ(std::count(played.begin(), played.end(), 0), static_cast<long>(played.size()));
}

TEST_F(OggTest, PlayFromSecondsStartsThereAndPastTheEndIsSilent) {
  const std::string path = MakeOgg("seek", 44100, 2);
  const std::string reference = Reference(path);
  ASSERT_EQ(OpenMedia(path), kResultSuccess);
  media->Play(1.0);
  EXPECT_DOUBLE_EQ(Status().TimePos, 1.0);
  EXPECT_EQ(Status().PlayState, kPlaying);
  std::vector<uint8_t> played = PlayOnePass(card);
  const std::string tail = reference.substr(44100 * 4);
  ASSERT_GE(played.size(), tail.size());
  EXPECT_EQ(std::memcmp(played.data(), tail.data(), tail.size()), 0);

  media->Play(60.0);
  EXPECT_DOUBLE_EQ(Status().TimePos, 60.0);
  played = PlayOnePass(card);
  ASSERT_FALSE(played.empty());
  EXPECT_EQ(std::count(played.begin(), played.end(), 0), static_cast<long>(played.size()));
}

TEST_F(OggTest, TogglePauseWhilePausedRestartsAtZero) {
  const std::string path = MakeOgg("toggle", 44100, 2);
  const std::string reference = Reference(path);
  ASSERT_EQ(OpenMedia(path), kResultSuccess);
  media->Play(1.5);
  card.Advance(4 * 4410);
  media->TogglePause();
  EXPECT_EQ(Status().PlayState, kPaused);
  const double pausedAt = Status().TimePos;
  EXPECT_NEAR(pausedAt, 1.6, 1e-9);
  card.Advance(4 * 4410);  // a paused device plays nothing
  EXPECT_DOUBLE_EQ(Status().TimePos, pausedAt);

  media->TogglePause();
  EXPECT_EQ(Status().PlayState, kPlaying);
  EXPECT_DOUBLE_EQ(Status().TimePos, 0.0);
  const std::vector<uint8_t> played = PlayOnePass(card);
  ASSERT_GE(played.size(), reference.size());
  EXPECT_EQ(std::memcmp(played.data(), reference.data(), reference.size()), 0);

  media->Stop();
  EXPECT_EQ(Status().PlayState, kStopped);
}

}  // namespace
}  // namespace qorve::test
