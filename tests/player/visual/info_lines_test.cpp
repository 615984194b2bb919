#include "player/visual/info_lines.h"

#include "common/log.h"
#include "player/core/file_list.h"
#include "support/settings_home.h"

#include <gtest/gtest.h>

namespace qorve {
namespace {

class InfoLinesTest : public test::SettingsHome {
 protected:
  void SetUp() override {
    SettingsHome::SetUp();
    settings = ProgramSettings();
    MediaInfo& info = input.info;
    info.Kind = kKindSound;
    SetInfoText(info.Format, "MP3");
    SetInfoText(info.FileName, "song.mp3");
    SetInfoText(info.Title, "Title");
    SetInfoText(info.Artist, "Artist");
    SetInfoText(info.Album, "Album");
    SetInfoText(info.Genre, "Rock");
    SetInfoText(info.Codec, "MPEG-1 Layer3");
    info.Length = 65.25;
    info.Width = -1;
    info.Track = 3;
    info.SampleRate = 44100;
    info.Channels = 2;
    info.Bits = 16;
    info.Bitrate = 128;
    input.state = MediaState{5.0, kPlaying};
    input.listIndex = 0;
    input.listCount = 4;
    input.listSource = kListFolder;
    input.volume = 65535;
  }
  void TearDown() override {
    SettingsHome::TearDown();
  }


  Settings settings;
  InfoLineInput input;
};

TEST_F(InfoLinesTest, JapaneseLinesWithDefaultSettings) {
  const InfoLines lines = BuildInfoLines(input, settings);
  EXPECT_EQ(lines.info, "[情報] ファイル：song.mp3　トラック：3　題名：Title　作者：Artist　出展：Album　種別：Rock　");
  EXPECT_EQ(lines.detail,
            "[詳細] 長さ： 1分 5.250秒　圧縮：MPEG-1 Layer3　チャンネル：2　周波数：44.1 KHz　ビット：16　"
            "レート：128 Kbits/s　");
  EXPECT_EQ(lines.status, "[状態] 残り： 1分 0.250秒　再生中　フォルダ再生モード　リスト：1/4　音量：100％　");
}

TEST_F(InfoLinesTest, EnglishLinesWithEveryItemOn) {
  settings.winmesKind = 1;
  settings.winmesTimePassed = 1;
  settings.soundsetLoop = 2;
  input.language = UiLanguage::English;
  input.listSource = kListPlaylist;
  input.state.PlayState = kPaused;
  input.info.Kind = kKindVideo;
  input.info.Width = 640;
  input.info.Height = 480;
  const InfoLines lines = BuildInfoLines(input, settings);
  EXPECT_EQ(lines.info, "[Info] Kind:MP3 File:song.mp3 Track:3 Title:Title Author:Artist Album:Album Genre:Rock ");
  EXPECT_EQ(lines.detail,
            "[Data] Time: 1分 5.250秒 Size:640 x 480 Codec:MPEG-1 Layer3 Channel:2 Sample:44.1 KHz Bit:16 "
            "Bitrate:128 Kbits/s ");
  EXPECT_EQ(lines.status,
            "[Play] Rest: 1分 0.250秒 Progress:5.000秒 Pause series Playlist playList:1/4 Volume:100% ");
}

TEST_F(InfoLinesTest, SwitchedOffAndEmptyItemsAreLeftOut) {
  settings.winmesFileName = 0;
  settings.winmesTrack = 0;
  settings.winmesTitle = 0;
  settings.winmesSinger = 0;
  settings.winmesGanre = 0;
  settings.winmesAllTime = 0;
  settings.winmesCodec = 0;
  settings.winmesWavData = 0;
  settings.winmesTimeLater = 0;
  settings.winmesState = 0;
  settings.winmesFileList = 0;
  settings.winmesVolume = 0;
  input.info.Album[0] = '\0';
  const InfoLines lines = BuildInfoLines(input, settings);
  EXPECT_EQ(lines.info, "[情報] ");
  EXPECT_EQ(lines.detail, "[詳細] ");
  EXPECT_EQ(lines.status, "[状態] ");
}

TEST_F(InfoLinesTest, SoundShowsNoPictureSize) {
  input.info.Width = 640;
  input.info.Height = 480;
  EXPECT_EQ(BuildInfoLines(input, settings).detail.find("サイズ"), std::string::npos);
}

TEST_F(InfoLinesTest, NegativePositionCountsAsZero) {
  input.state.TimePos = -3.0;
  settings.winmesTimePassed = 1;
  settings.winmesState = 0;
  settings.winmesFileList = 0;
  settings.winmesVolume = 0;
  EXPECT_EQ(BuildInfoLines(input, settings).status, "[状態] 残り： 1分 5.250秒　経過：0.000秒　");
}

struct VolumeCase {
  uint16_t volume;
  UiLanguage language;
  std::string text;
};

class VolumeTextTest : public InfoLinesTest, public ::testing::WithParamInterface<VolumeCase> {};

TEST_P(VolumeTextTest, VolumeIsAThreeDigitPercent) {
  settings.winmesTimeLater = 0;
  settings.winmesState = 0;
  settings.winmesFileList = 0;
  input.volume = GetParam().volume;
  input.language = GetParam().language;
  const std::string status = BuildInfoLines(input, settings).status;
  EXPECT_EQ(status.substr(status.find(GetParam().language == UiLanguage::English ? "Volume" : "音量")),
            GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Volumes, VolumeTextTest,
                         ::testing::Values(VolumeCase{65535, UiLanguage::Japanese, "音量：100％　"},
                                           VolumeCase{0, UiLanguage::Japanese, "音量：  0％　"},
                                           VolumeCase{32768, UiLanguage::Japanese, "音量： 50％　"},
                                           VolumeCase{65535, UiLanguage::English, "Volume:100% "},
                                           VolumeCase{0, UiLanguage::English, "Volume:  0% "}));

TEST(ErrorTextTest, MissingComponentAddsTheInstallHint) {
  const ErrorText japanese = BuildErrorText("このファイルには対応していません。", "Adobe Acrobat Reader",
                                            UiLanguage::Japanese);
  EXPECT_EQ(japanese.message, "このファイルには対応していません。");
  EXPECT_EQ(japanese.hint, "Adobe Acrobat Reader のインストールで再生できるかもしれません。");
  EXPECT_EQ(BuildErrorText("x", "Adobe Acrobat Reader", UiLanguage::English).hint, "Install Adobe Acrobat Reader");
  EXPECT_EQ(BuildErrorText("x", "", UiLanguage::Japanese).hint, "");
}

TEST(FormatItemTest, OnlyMatchingConversionsAreFilled) {
  EXPECT_EQ(FormatItem("Volume:%3d% ", {7}), "Volume:  7% ");
  EXPECT_EQ(FormatItem("%d%%", {5}), "5%");
  EXPECT_EQ(FormatItem("A:%d B:%s", {1}), "A:1 B:%s");
  EXPECT_EQ(FormatItem("%s", {7}), "%s");
  EXPECT_EQ(FormatItem("%2.1f KHz", {22.05}), "22.1 KHz");
  EXPECT_EQ(FormatItem("%s!", {std::string(300, 'a').c_str()}), std::string(300, 'a') + "!");
  EXPECT_EQ(FormatItem("100%", {}), "100%");
}

}  // namespace
}  // namespace qorve
