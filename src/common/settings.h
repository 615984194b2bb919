// common/: what the player and the settings program share.
//
// The settings shared by the player and the settings program: one record of
// program-wide values, the table that names every key with its default, and
// the routines that load, save and reset the per-user settings file.
//
// The record is owned by the user-interface thread. Other threads only read
// values that are fixed after start-up (the log switch).
#pragma once

#include <filesystem>
#include <span>
#include <string>

namespace qorve {

// One member per key, named after its section and key.
struct Settings {
  int kestravoxLog;
  int kestravoxResetVolume;
  int kestravoxMixPlay;
  int kestravoxLButtonExit;
  int kestravoxRButtonExit;
  int winsetMode;
  int winsetX;
  int winsetY;
  int winsetWidth;
  int winsetHeight;
  int winsetBackColor;  // COLORREF 0x00BBGGRR
  int winsetAlpha;
  int winsetScroll;
  int winsetTask;  // also the run-time hidden-in-tray flag
  int fontsetFontSize;
  int fontsetFontColor;  // COLORREF 0x00BBGGRR
  int fontsetFontWeight;
  int fontsetFontItalic;
  std::string fontsetFontFace;  // at most kFontFaceBytes bytes of UTF-8
  int winmesRenew;
  int winmesTimeLater;
  int winmesTimePassed;
  int winmesTimeForm;
  int winmesAllTime;
  int winmesDecimal;
  int winmesKind;
  int winmesFileName;
  int winmesTitle;
  int winmesSize;
  int winmesCodec;
  int winmesState;
  int winmesFileList;
  int winmesVolume;
  int winmesSinger;
  int winmesGanre;
  int winmesTrack;
  int winmesWavData;
  int buttonExit;
  int buttonPause;
  int buttonOnce;
  int buttonLoop;
  int buttonList;
  int buttonRand;
  int buttonFull;
  int buttonZoom;
  int buttonNext;
  int buttonBack;
  int buttonShow;
  int buttonHide;
  int soundsetLoop;  // play mode: 0 once, 1 loop, 2 series, 3 random; changed at run time
  int soundsetEnd;
  int soundsetBgmVolDown;
  int soundsetBgmVolume;  // percent
  int spcsetHz;
  int spcsetSurnd;
  int spcsetVolume;
  int midisetDevice;
  int midisetReset;
  int videosetFull;  // also the run-time full-screen flag
  int videosetDShow;
  int imagesetScaleMatch;  // also the run-time zoom flag
  int imagesetShow;  // also the run-time slideshow flag
  int imagesetShowSec;
  int imagesetShowScale;
  int imagesetScaleAlg;
  int imagesetAlpha;
  int keysetClose;  // KEYSET values are virtual-key codes (1, 2, 4: mouse buttons)
  int keysetPause;
  int keysetList;
  int keysetRand;
  int keysetLoop;
  int keysetFull;
  int keysetZoom;
  int keysetNext;
  int keysetBack;
  int keysetShow;
  int keysetHidden;
  int keysetVolumeUp;
  int keysetVolumeDown;
};

// The face name field holds 31 bytes of text, as the fixed field did.
constexpr std::size_t kFontFaceBytes = 31;

enum class DefaultRule {
  Fixed,              // the value in the table
  ThirdOfMasterVolume // master volume ÷ 655 ÷ 3, taken when the settings are loaded
};

// One key of the settings file. Exactly one of `number` and `text` is set.
struct SettingKey {
  const char* section;
  const char* key;
  int Settings::*number;
  std::string Settings::*text;
  int defaultNumber;
  const char* defaultText;
  DefaultRule rule;
  bool windowRectangle;  // WINSET X, Y, WIDTH, HEIGHT: saved only by the player
  const char* label;     // the settings program's label, empty when it has none
};

// Every key in the order it is read and written.
std::span<const SettingKey> SettingsTable();

// The program-wide values.
Settings& ProgramSettings();

// <settings folder>/<login name>.INI, built anew on each call.
std::filesystem::path SettingsFilePath();

// Reads every key into the program-wide values (a missing or unreadable file
// gives the defaults). Afterwards SCALEALG 2 becomes 1 and SHOWSCALE becomes 300.
void LoadSettings();

// what = 1: writes only WINSET X, Y, WIDTH and HEIGHT. Any other value writes
// every other key. Keys not written and lines of others stay as they are.
// Failures are ignored; returns whether the file was written.
bool SaveSettings(int what);

// Deletes the settings file and loads the defaults.
void ResetSettings();

}  // namespace qorve
