#include "common/settings.h"

#include "common/volume.h"
#include "platform/system/folders.h"
#include "platform/system/profile.h"
#include "platform/system/text.h"

#include <array>
#include <cstdio>
#include <system_error>

namespace qorve {
namespace {

constexpr SettingKey Number(const char* section, const char* key, int Settings::*field, int defaultValue,
                            const char* label = "") {
  return SettingKey{section, key, field, nullptr, defaultValue, nullptr, DefaultRule::Fixed, false, label};
}

constexpr SettingKey Rectangle(const char* key, int Settings::*field, int defaultValue) {
  return SettingKey{"WINSET", key, field, nullptr, defaultValue, nullptr, DefaultRule::Fixed, true, ""};
}

constexpr std::array kTable{
    Number("KESTRAVOX", "LOG", &Settings::kestravoxLog, 1, "ログを出力"),
    Number("KESTRAVOX", "RESETVOLUME", &Settings::kestravoxResetVolume, 0, "終了時にボリュームを元に戻す"),
    Number("KESTRAVOX", "MIXPLAY", &Settings::kestravoxMixPlay, 1, "音声・動画・画像を区別せずに連続再生する。"),
    Number("KESTRAVOX", "LBUTTONEXIT", &Settings::kestravoxLButtonExit, 1, "画面外の左クリックで終了"),
    Number("KESTRAVOX", "RBUTTONEXIT", &Settings::kestravoxRButtonExit, 0, "画面外の右クリックで終了"),
    Number("WINSET", "MODE", &Settings::winsetMode, 0),
    Rectangle("X", &Settings::winsetX, 20),
    Rectangle("Y", &Settings::winsetY, 20),
    Rectangle("WIDTH", &Settings::winsetWidth, 500),
    Rectangle("HEIGHT", &Settings::winsetHeight, 60),
    Number("WINSET", "BACKCOCLOR", &Settings::winsetBackColor, 0xFFFFFF),
    Number("WINSET", "ALPHA", &Settings::winsetAlpha, 25, "ウィンドウの透明度"),
    Number("WINSET", "SCROLL", &Settings::winsetScroll, 1, "スクロールバーの表示"),
    Number("WINSET", "TASK", &Settings::winsetTask, 0, "タスクに格納する(BGM再生)"),
    Number("FONTSET", "FONTSIZE", &Settings::fontsetFontSize, 12),
    Number("FONTSET", "FONTCOLOR", &Settings::fontsetFontColor, 0),
    Number("FONTSET", "FONTWEIGHT", &Settings::fontsetFontWeight, 1000),
    Number("FONTSET", "FONTITALIC", &Settings::fontsetFontItalic, 0),
    SettingKey{"FONTSET", "FONTFACE", nullptr, &Settings::fontsetFontFace, 0, "ＭＳ Ｐゴシック", DefaultRule::Fixed,
               false, ""},
    Number("WINMES", "RENEW", &Settings::winmesRenew, 3, "更新頻度"),
    Number("WINMES", "TIMELATER", &Settings::winmesTimeLater, 1, "残り時間"),
    Number("WINMES", "TIMEPASSED", &Settings::winmesTimePassed, 0, "経過時間"),
    Number("WINMES", "TIMEFORM", &Settings::winmesTimeForm, 2),
    Number("WINMES", "ALLTIME", &Settings::winmesAllTime, 1, "曲の長さ"),
    Number("WINMES", "DECIMAL", &Settings::winmesDecimal, 1, "時間を実数で表示"),
    Number("WINMES", "KIND", &Settings::winmesKind, 0, "種類"),
    Number("WINMES", "FILENAME", &Settings::winmesFileName, 1, "ファイル名"),
    Number("WINMES", "TITLE", &Settings::winmesTitle, 1, "タイトル"),
    Number("WINMES", "SIZE", &Settings::winmesSize, 1, "サイズ"),
    Number("WINMES", "CODEC", &Settings::winmesCodec, 1, "コーデック"),
    Number("WINMES", "STATE", &Settings::winmesState, 1, "再生状態"),
    Number("WINMES", "FILELIST", &Settings::winmesFileList, 1, "ファイルリスト数"),
    Number("WINMES", "VOLUME", &Settings::winmesVolume, 1, "システムボリューム"),
    Number("WINMES", "SINGER", &Settings::winmesSinger, 1, "歌手名"),
    Number("WINMES", "GANRE", &Settings::winmesGanre, 1, "ジャンル名"),
    Number("WINMES", "TRACK", &Settings::winmesTrack, 1, "トラック番号"),
    Number("WINMES", "WAVDATA", &Settings::winmesWavData, 1, "音質データ"),
    Number("BUTTON", "EXIT", &Settings::buttonExit, 1, "終了"),
    Number("BUTTON", "PAUSE", &Settings::buttonPause, 1, "再生と一時停止"),
    Number("BUTTON", "ONCE", &Settings::buttonOnce, 1, "単独再生"),
    Number("BUTTON", "LOOP", &Settings::buttonLoop, 1, "繰り返し"),
    Number("BUTTON", "LIST", &Settings::buttonList, 1, "連続再生"),
    Number("BUTTON", "RAND", &Settings::buttonRand, 1, "ランダム再生"),
    Number("BUTTON", "FULL", &Settings::buttonFull, 1, "全画面"),
    Number("BUTTON", "ZOOM", &Settings::buttonZoom, 1, "拡大縮小"),
    Number("BUTTON", "NEXT", &Settings::buttonNext, 1, "次のファイル"),
    Number("BUTTON", "BACK", &Settings::buttonBack, 1, "前のファイル"),
    Number("BUTTON", "SHOW", &Settings::buttonShow, 1, "スライドショウ"),
    Number("BUTTON", "HIDE", &Settings::buttonHide, 1, "BGM再生"),
    Number("SOUNDSET", "LOOP", &Settings::soundsetLoop, 0),
    Number("SOUNDSET", "END", &Settings::soundsetEnd, 1),
    Number("SOUNDSET", "BGMVOLDOWN", &Settings::soundsetBgmVolDown, 1, "タスクに格納している間はボリューム変える"),
    SettingKey{"SOUNDSET", "BGMVOLUME", &Settings::soundsetBgmVolume, nullptr, 0, nullptr,
               DefaultRule::ThirdOfMasterVolume, false, "タスクに格納時ボリューム"},
    Number("SPCSET", "HZ", &Settings::spcsetHz, 44100, "周波数"),
    Number("SPCSET", "SURND", &Settings::spcsetSurnd, 0, "疑似サラウンド再生"),
    Number("SPCSET", "VOLUME", &Settings::spcsetVolume, 0x20000),
    Number("MIDISET", "DEVICE", &Settings::midisetDevice, -1, "音源"),
    Number("MIDISET", "RESET", &Settings::midisetReset, 0, "初期化"),
    Number("VIDEOSET", "FULL", &Settings::videosetFull, 0, "動画を全画面で再生する"),
    Number("VIDEOSET", "DSHOW", &Settings::videosetDShow, 1, "動画の再生にDirectShowを使用する"),
    Number("IMAGESET", "SCALEMATCH", &Settings::imagesetScaleMatch, 1, "画面より大きい画像は縮小"),
    Number("IMAGESET", "SHOW", &Settings::imagesetShow, 0, "スライドショウ再生"),
    Number("IMAGESET", "SHOWSEC", &Settings::imagesetShowSec, 3, "画像の切り替え間隔"),
    Number("IMAGESET", "SHOWSCALE", &Settings::imagesetShowScale, 100),
    Number("IMAGESET", "SCALEALG", &Settings::imagesetScaleAlg, 1),
    Number("IMAGESET", "ALPHA", &Settings::imagesetAlpha, 0, "画像の透明度"),
    Number("KEYSET", "CLOSE", &Settings::keysetClose, 0x1B),
    Number("KEYSET", "PAUSE", &Settings::keysetPause, 0x50),
    Number("KEYSET", "LIST", &Settings::keysetList, 0x43),
    Number("KEYSET", "RAND", &Settings::keysetRand, 0x52),
    Number("KEYSET", "LOOP", &Settings::keysetLoop, 0x4C),
    Number("KEYSET", "FULL", &Settings::keysetFull, 0x73),
    Number("KEYSET", "ZOOM", &Settings::keysetZoom, 0x5A),
    Number("KEYSET", "NEXT", &Settings::keysetNext, 0x27),
    Number("KEYSET", "BACK", &Settings::keysetBack, 0x25),
    Number("KEYSET", "SHOW", &Settings::keysetShow, 0x53),
    Number("KEYSET", "HIDDEN", &Settings::keysetHidden, 0x20),
    Number("KEYSET", "VOLUMEUP", &Settings::keysetVolumeUp, 0x6B),
    Number("KEYSET", "VOLUMEDOWN", &Settings::keysetVolumeDown, 0x6D),
};

// Images are never enlarged beyond this, whatever the file says.
constexpr int kShowScale = 300;

int DefaultOf(const SettingKey& entry) {
  if (entry.rule == DefaultRule::ThirdOfMasterVolume) {
    uint16_t master = 0;  // a failed read leaves 0
    GetVolume(master);
    return BgmVolumeDefault(master);
  }
  return entry.defaultNumber;
}

}  // namespace

std::span<const SettingKey> SettingsTable() {
  return kTable;
}

Settings& ProgramSettings() {
  static Settings settings{};
  return settings;
}

std::filesystem::path SettingsFilePath() {
  return SettingsFolder() / (LoginName() + ".INI");
}

void LoadSettings() {
  const ProfileDocument file = ReadProfileFile(SettingsFilePath());
  Settings& settings = ProgramSettings();
  for (const SettingKey& entry : kTable) {
    const auto stored = file.Find(entry.section, entry.key);
    if (entry.text) {
      const std::string text = stored ? TextToUtf8(*stored) : std::string(entry.defaultText);
      settings.*entry.text = std::string(CutUtf8(text, kFontFaceBytes));
    } else {
      settings.*entry.number = (stored && !stored->empty()) ? ParseProfileInt(*stored) : DefaultOf(entry);
    }
  }
  if (settings.imagesetScaleAlg == 2) settings.imagesetScaleAlg = 1;
  settings.imagesetShowScale = kShowScale;
}

bool SaveSettings(int what) {
  const std::filesystem::path path = SettingsFilePath();
  ProfileDocument file = ReadProfileFile(path);
  const Settings& settings = ProgramSettings();
  const bool rectangleOnly = what == 1;
  for (const SettingKey& entry : kTable) {
    if (entry.windowRectangle != rectangleOnly) continue;
    if (entry.text) {
      file.Set(entry.section, entry.key, settings.*entry.text);
    } else {
      file.Set(entry.section, entry.key, std::to_string(settings.*entry.number));
    }
  }
  return WriteProfileFile(file, path);
}

void ResetSettings() {
  std::error_code ignored;
  std::filesystem::remove(SettingsFilePath(), ignored);
  LoadSettings();
}

}  // namespace qorve
