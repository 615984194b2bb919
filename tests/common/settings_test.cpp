#include "common/settings.h"

#include "platform/audio/mixer.h"
#include "platform/system/folders.h"
#include "platform/system/profile.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <set>

namespace qorve {
namespace {

using test::ReadFile;
using test::WriteFile;

class SettingsTest : public test::TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    SetSystemMixerForTesting(CreateVirtualMixer(65535));
  }
  void TearDown() override {
    SetSystemMixerForTesting(nullptr);
    TempHome::TearDown();
  }
  Settings& settings = ProgramSettings();
};

TEST_F(SettingsTest, FileIsNamedAfterTheLoginNameInTheSettingsFolder) {
  EXPECT_EQ(SettingsFilePath(), settingsFolder() / (LoginName() + ".INI"));
}

TEST_F(SettingsTest, TableHoldsEveryKeyOnceWithOneKindOfValue) {
  std::set<std::string> names;
  for (const SettingKey& entry : SettingsTable()) {
    EXPECT_TRUE(names.insert(std::string(entry.section) + "/" + entry.key).second) << entry.key;
    EXPECT_NE(entry.number == nullptr, entry.text == nullptr) << entry.key;
  }
  EXPECT_EQ(names.size(), 79u);
  EXPECT_EQ(std::string(SettingsTable().front().key), "LOG");
  EXPECT_EQ(std::string(SettingsTable().back().key), "VOLUMEDOWN");
}

TEST_F(SettingsTest, NoFileGivesEveryDefault) {
  SetSystemMixerForTesting(CreateVirtualMixer(40000));
  LoadSettings();
  EXPECT_EQ(settings.kestravoxLog, 1);  // a first run writes its log
  EXPECT_EQ(settings.kestravoxMixPlay, 1);
  EXPECT_EQ(settings.kestravoxLButtonExit, 1);
  EXPECT_EQ(settings.kestravoxRButtonExit, 0);
  EXPECT_EQ(settings.winsetMode, 0);
  EXPECT_EQ(settings.winsetX, 20);
  EXPECT_EQ(settings.winsetWidth, 500);
  EXPECT_EQ(settings.winsetHeight, 60);
  EXPECT_EQ(settings.winsetBackColor, 0xFFFFFF);
  EXPECT_EQ(settings.winsetAlpha, 25);
  EXPECT_EQ(settings.fontsetFontSize, 12);
  EXPECT_EQ(settings.fontsetFontWeight, 1000);
  EXPECT_EQ(settings.fontsetFontFace, "ＭＳ Ｐゴシック");
  EXPECT_EQ(settings.winmesRenew, 3);
  EXPECT_EQ(settings.winmesTimeForm, 2);
  EXPECT_EQ(settings.winmesKind, 0);
  EXPECT_EQ(settings.buttonHide, 1);
  EXPECT_EQ(settings.soundsetLoop, 0);
  EXPECT_EQ(settings.soundsetEnd, 1);
  EXPECT_EQ(settings.soundsetBgmVolume, 40000 / 655 / 3);
  EXPECT_EQ(settings.spcsetHz, 44100);
  EXPECT_EQ(settings.spcsetVolume, 0x20000);
  EXPECT_EQ(settings.midisetDevice, -1);
  EXPECT_EQ(settings.videosetDShow, 1);
  EXPECT_EQ(settings.imagesetScaleMatch, 1);
  EXPECT_EQ(settings.imagesetShowSec, 3);
  EXPECT_EQ(settings.imagesetShowScale, 300);
  EXPECT_EQ(settings.imagesetScaleAlg, 1);
  EXPECT_EQ(settings.keysetClose, 0x1B);
  EXPECT_EQ(settings.keysetFull, 0x73);
  EXPECT_EQ(settings.keysetNext, 0x27);
  EXPECT_EQ(settings.keysetHidden, 0x20);
  EXPECT_EQ(settings.keysetVolumeDown, 0x6D);
  EXPECT_FALSE(std::filesystem::exists(SettingsFilePath()));  // loading writes nothing
}

TEST_F(SettingsTest, StoredValuesAreReadWithTheTwoImageRules) {
  WriteFile(SettingsFilePath(),
            "[IMAGESET]\r\nSHOWSCALE=100\r\nSCALEALG=2\r\n[winset]\r\nmode=1\r\nALPHA=100\r\n"
            "[KEYSET]\r\nCLOSE=0\r\n[SOUNDSET]\r\nBGMVOLUME=12\r\n[FONTSET]\r\nFONTFACE=Noto Sans CJK JP\r\n");
  LoadSettings();
  EXPECT_EQ(settings.imagesetShowScale, 300);
  EXPECT_EQ(settings.imagesetScaleAlg, 1);
  EXPECT_EQ(settings.winsetMode, 1);
  EXPECT_EQ(settings.winsetAlpha, 100);  // used as stored, without range checks
  EXPECT_EQ(settings.keysetClose, 0);
  EXPECT_EQ(settings.soundsetBgmVolume, 12);
  EXPECT_EQ(settings.fontsetFontFace, "Noto Sans CJK JP");

  WriteFile(SettingsFilePath(), "[IMAGESET]\nSCALEALG=0\n");
  LoadSettings();
  EXPECT_EQ(settings.imagesetScaleAlg, 0);
}

TEST_F(SettingsTest, LongOrShiftJisFaceNamesFitTheirField) {
  WriteFile(SettingsFilePath(), "[FONTSET]\nFONTFACE=" + std::string(12, '\x82') + "\x82\xa0\n");
  LoadSettings();
  EXPECT_LE(settings.fontsetFontFace.size(), kFontFaceBytes);
  WriteFile(SettingsFilePath(), "[FONTSET]\nFONTFACE=\x82\x6c\x82\x72 \x83\x53\x83\x56\x83\x62\x83\x4e\n");
  LoadSettings();
  EXPECT_EQ(settings.fontsetFontFace, "ＭＳ ゴシック");
  WriteFile(SettingsFilePath(), "[FONTSET]\nFONTFACE=あいうえおかきくけこさしすせそ\n");  // 45 bytes
  LoadSettings();
  EXPECT_EQ(settings.fontsetFontFace, "あいうえおかきくけこ");  // 30 bytes
}

TEST_F(SettingsTest, SavingTheWindowRectangleLeavesEveryOtherKeyAlone) {
  const std::string original =
      "; my settings\r\n[WINSET]\r\nMODE=1\r\nX=1\r\nALPHA=7\r\n\r\n[KEYSET]\r\nCLOSE=81\r\n";
  WriteFile(SettingsFilePath(), original);
  LoadSettings();
  settings.winsetX = 300;
  settings.winsetY = -20;
  settings.winsetWidth = 640;
  settings.winsetHeight = 80;
  settings.winsetAlpha = 50;  // run-time changes of other keys are not written
  ASSERT_TRUE(SaveSettings(1));
  EXPECT_EQ(ReadFile(SettingsFilePath()),
            "; my settings\r\n[WINSET]\r\nMODE=1\r\nX=300\r\nALPHA=7\r\nY=-20\r\nWIDTH=640\r\nHEIGHT=80\r\n\r\n"
            "[KEYSET]\r\nCLOSE=81\r\n");
}

TEST_F(SettingsTest, SavingEverythingElseWritesEveryKeyButTheRectangle) {
  WriteFile(SettingsFilePath(), "[WINSET]\nX=5\n[OTHER]\nmine=1\n");
  LoadSettings();
  settings.winsetX = 999;
  settings.keysetPause = 0x51;
  settings.midisetDevice = -1;
  settings.fontsetFontFace = "Noto Serif CJK JP";
  ASSERT_TRUE(SaveSettings(0));

  const ProfileDocument file = ReadProfileFile(SettingsFilePath());
  EXPECT_EQ(file.Find("WINSET", "X"), "5");
  EXPECT_FALSE(file.Find("WINSET", "WIDTH"));
  EXPECT_EQ(file.Find("OTHER", "mine"), "1");
  EXPECT_EQ(file.Find("KEYSET", "PAUSE"), "81");
  EXPECT_EQ(file.Find("MIDISET", "DEVICE"), "-1");
  EXPECT_EQ(file.Find("FONTSET", "FONTFACE"), "Noto Serif CJK JP");
  EXPECT_EQ(file.Find("IMAGESET", "SHOWSCALE"), "300");
  for (const SettingKey& entry : SettingsTable()) {
    if (!entry.windowRectangle) {
      EXPECT_TRUE(file.Find(entry.section, entry.key)) << entry.key;
    }
  }

  // What was saved loads back unchanged.
  const Settings saved = settings;
  settings = Settings{};
  LoadSettings();
  for (const SettingKey& entry : SettingsTable()) {
    if (entry.number && !entry.windowRectangle) {
      EXPECT_EQ(settings.*entry.number, saved.*entry.number) << entry.key;
    }
  }
  EXPECT_EQ(settings.fontsetFontFace, saved.fontsetFontFace);
}

TEST_F(SettingsTest, ResetDeletesTheFileAndRestoresDefaults) {
  WriteFile(SettingsFilePath(), "[KESTRAVOX]\nLOG=0\n[WINSET]\nMODE=2\n");
  LoadSettings();
  ASSERT_EQ(settings.kestravoxLog, 0);
  ResetSettings();
  EXPECT_FALSE(std::filesystem::exists(SettingsFilePath()));
  EXPECT_EQ(settings.kestravoxLog, 1);
  EXPECT_EQ(settings.winsetMode, 0);
}

TEST_F(SettingsTest, UsersNeverShareAFile) {
  const auto mine = SettingsFilePath();
  setenv("QORVE_HOME", (root() / "other-user").c_str(), 1);
  EXPECT_NE(SettingsFilePath(), mine);
  unsetenv("QORVE_HOME");
  EXPECT_EQ(SettingsFilePath(), root() / "home" / ".config" / "qorve" / (LoginName() + ".INI"));
}

}  // namespace
}  // namespace qorve
