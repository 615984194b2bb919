// The display settings dialog ("画面の設定"): window placement, seek bar,
// background colour, transparency, the information lines and time texts,
// refresh rate, font and the buttons of the display window.
#pragma once

#include "settings/dialogs/settings_dialog.h"

#include <functional>
#include <optional>
#include <string>

class QLineEdit;
class QSlider;
class QSpinBox;

namespace qorve {

class ColourSwatch;

// A font as the settings keep it.
struct FontChoice {
  std::string face;
  int pointSize;
  int weight;  // 1..1000
  int italic;  // 0 or 1
  int colorRef;
};

// The two choosers the dialog opens; tests put their own in.
struct DisplayChoosers {
  // The chosen COLORREF, or nothing when cancelled.
  std::function<std::optional<int>(int colorRef, QWidget* parent)> colour;
  std::function<std::optional<FontChoice>(const FontChoice& current, QWidget* parent)> font;
};

// Qt's colour dialog with the 16 custom colours, and our font chooser.
DisplayChoosers StandardChoosers();
// Puts the 16 custom colours into Qt's colour dialog.
void InstallCustomColours();

class DisplayDialog : public SettingsDialog {
  Q_OBJECT

 public:
  static constexpr int kOk = 1112;
  static constexpr int kCancel = 1110;

  explicit DisplayDialog(QWidget* parent, DisplayChoosers choosers = StandardChoosers());

  // What the background-colour and font buttons do.
  void ChooseBackgroundColour();
  void ChooseFont();

 protected:
  void StoreControls() override;

 private:
  DisplayChoosers choosers_;
  int backColour_;  // kept here until OK
  ColourSwatch* backSwatch_;
  ColourSwatch* fontSwatch_;
  QSpinBox* alpha_;
  QSlider* renew_;
  QLineEdit* fontFace_;
};

}  // namespace qorve
