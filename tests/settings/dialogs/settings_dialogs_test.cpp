// The settings dialogs: controls opened from the settings, OK stores each one
// under its key, cancel stores nothing, the help box, the sound and display
// dialogs' own rules.
#include "common/settings.h"
#include "settings/dialogs/display_dialog.h"
#include "settings/dialogs/general_dialog.h"
#include "settings/dialogs/help_texts.h"
#include "settings/dialogs/image_dialog.h"
#include "settings/dialogs/sound_dialog.h"
#include "settings/dialogs/video_dialog.h"
#include "support/midi_port_fake.h"
#include "support/qt_application.h"
#include "support/settings_home.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>

#include <functional>
#include <memory>

namespace qorve {
namespace {

using DialogMaker = std::function<std::unique_ptr<SettingsDialog>()>;

struct DialogCase {
  const char* name;
  DialogMaker make;
  int ok;
  int cancel;
};

const DialogCase kDialogs[] = {
    {"display", [] { return std::make_unique<DisplayDialog>(nullptr); }, 1112, 1110},
    {"general", [] { return std::make_unique<GeneralDialog>(nullptr); }, 1, 2},
    {"sound", [] { return std::make_unique<SoundDialog>(nullptr); }, 1, 2},
    {"video", [] { return std::make_unique<VideoDialog>(nullptr); }, 1, 2},
    {"image", [] { return std::make_unique<ImageDialog>(nullptr); }, 1, 2},
};

template <typename W>
W* Control(QWidget& dialog, int id) {
  W* widget = dialog.findChild<W*>(QString::number(id));
  EXPECT_NE(widget, nullptr) << "control " << id;
  return widget;
}

// The settings key whose label is a check box's text.
const SettingKey* KeyLabelled(const QString& label) {
  for (const SettingKey& key : SettingsTable()) {
    if (key.number && QString::fromUtf8(key.label) == label) return &key;
  }
  return nullptr;
}

// Every value of the record, for comparing two records.
std::vector<std::string> Values(const Settings& settings) {
  std::vector<std::string> values;
  for (const SettingKey& key : SettingsTable()) {
    values.push_back(key.number ? std::to_string(settings.*key.number) : settings.*key.text);
  }
  return values;
}

class DialogTest : public test::SettingsHome {
 protected:
  void SetUp() override {
    SettingsHome::SetUp();
    test::TestApplication();
  }
};

class EveryDialogTest : public DialogTest, public ::testing::WithParamInterface<DialogCase> {};

TEST_P(EveryDialogTest, CheckBoxesOpenFromTheirKeysAndOkStoresEachUnderItsKey) {
  // Alternate 0 and 1 over the keys so that both states are seen.
  int flip = 0;
  for (const SettingKey& key : SettingsTable()) {
    if (key.number && *key.label) ProgramSettings().*key.number = flip++ % 2;
  }
  std::unique_ptr<SettingsDialog> dialog = GetParam().make();
  const QList<QCheckBox*> boxes = dialog->findChildren<QCheckBox*>();
  ASSERT_FALSE(boxes.isEmpty());
  for (QCheckBox* box : boxes) {
    ASSERT_FALSE(box->text().isEmpty()) << box->objectName().toStdString();
    const SettingKey* key = KeyLabelled(box->text());
    ASSERT_NE(key, nullptr) << box->text().toStdString();
    EXPECT_EQ(box->isChecked(), ProgramSettings().*key->number != 0) << key->key;
    box->toggle();
  }
  Control<QPushButton>(*dialog, GetParam().ok)->click();
  EXPECT_EQ(dialog->result(), QDialog::Accepted);
  for (QCheckBox* box : boxes) {
    const SettingKey* key = KeyLabelled(box->text());
    EXPECT_EQ(ProgramSettings().*key->number != 0, box->isChecked()) << key->key;
  }
}

TEST_P(EveryDialogTest, CancelStoresNothing) {
  const std::vector<std::string> before = Values(ProgramSettings());
  std::unique_ptr<SettingsDialog> dialog = GetParam().make();
  for (QCheckBox* box : dialog->findChildren<QCheckBox*>()) box->toggle();
  for (QRadioButton* radio : dialog->findChildren<QRadioButton*>()) radio->click();
  for (QSlider* slider : dialog->findChildren<QSlider*>()) slider->setValue(slider->minimum());
  for (QSpinBox* spin : dialog->findChildren<QSpinBox*>()) spin->setValue(spin->maximum() - 1);
  for (QComboBox* list : dialog->findChildren<QComboBox*>()) list->setCurrentIndex(list->count() - 1);
  Control<QPushButton>(*dialog, GetParam().cancel)->click();
  EXPECT_EQ(dialog->result(), QDialog::Rejected);
  EXPECT_EQ(Values(ProgramSettings()), before);
}

TEST_P(EveryDialogTest, HelpBoxExplainsTheTabStopUnderTheCursorAndEmptiesElsewhere) {
  std::unique_ptr<SettingsDialog> dialog = GetParam().make();
  dialog->show();
  auto* help = Control<QPlainTextEdit>(*dialog, SettingsDialog::kHelpBox);
  for (QWidget* control : dialog->findChildren<QWidget*>()) {
    const int id = control->objectName().toInt();
    if (id == 0 || !(control->focusPolicy() & Qt::TabFocus)) continue;
    const QPoint centre = control->mapToGlobal(control->rect().center());
    auto* radio = qobject_cast<QRadioButton*>(control);
    dialog->ShowHelpFor(centre);
    if (radio && !radio->isChecked()) {
      EXPECT_TRUE(help->toPlainText().isEmpty()) << id << ": an unselected radio button has no help";
      continue;
    }
    const QVariant spinHelp = control->property(kHelpControlProperty);
    const std::string_view text = HelpText(spinHelp.isValid() ? spinHelp.toInt() : id);
    EXPECT_EQ(help->toPlainText().toStdString(), std::string(text)) << id;
    dialog->ShowHelpFor(dialog->mapToGlobal(QPoint(-50, -50)));
    EXPECT_TRUE(help->toPlainText().isEmpty());
  }
}

INSTANTIATE_TEST_SUITE_P(Dialogs, EveryDialogTest, ::testing::ValuesIn(kDialogs),
                         [](const auto& info) { return std::string(info.param.name); });

struct RadioCase {
  const char* name;
  DialogMaker make;
  std::vector<int> buttons;  // button i stands for value i
  int Settings::*value;
};

class RadioGroupTest : public DialogTest, public ::testing::WithParamInterface<RadioCase> {};

TEST_P(RadioGroupTest, OpensAtTheStoredValueAndStoresTheChosenOne) {
  const RadioCase& group = GetParam();
  const int count = static_cast<int>(group.buttons.size());
  for (int value = 0; value < count; ++value) {
    ProgramSettings().*group.value = value;
    std::unique_ptr<SettingsDialog> dialog = group.make();
    for (int i = 0; i < count; ++i) {
      EXPECT_EQ(Control<QRadioButton>(*dialog, group.buttons[i])->isChecked(), i == value);
    }
    Control<QRadioButton>(*dialog, group.buttons[(value + 1) % count])->click();
    dialog->accept();
    EXPECT_EQ(ProgramSettings().*group.value, (value + 1) % count);
  }
  // A value no button stands for checks none and survives OK.
  ProgramSettings().*group.value = 7;
  std::unique_ptr<SettingsDialog> dialog = group.make();
  for (QRadioButton* radio : dialog->findChildren<QRadioButton*>()) EXPECT_FALSE(radio->isChecked());
  dialog->accept();
  EXPECT_EQ(ProgramSettings().*group.value, 7);
}

INSTANTIATE_TEST_SUITE_P(
    Groups, RadioGroupTest,
    ::testing::Values(RadioCase{"winsetMode", kDialogs[0].make, {1086, 1092, 1098}, &Settings::winsetMode},
                      RadioCase{"soundsetLoop", kDialogs[2].make, {1230, 1218, 1222, 1226}, &Settings::soundsetLoop},
                      RadioCase{"imagesetScaleAlg", kDialogs[4].make, {1198, 1202}, &Settings::imagesetScaleAlg}),
    [](const auto& info) { return std::string(info.param.name); });

struct NumberCase {
  const char* name;
  DialogMaker make;
  int control;
  int Settings::*value;
  int minimum;
  int maximum;
};

class NumberControlTest : public DialogTest, public ::testing::WithParamInterface<NumberCase> {};

TEST_P(NumberControlTest, RangeAndPositionFromTheKeyAndOkStoresIt) {
  const NumberCase& number = GetParam();
  ProgramSettings().*number.value = number.minimum + 1;
  std::unique_ptr<SettingsDialog> dialog = number.make();
  QWidget* control = dialog->findChild<QWidget*>(QString::number(number.control));
  ASSERT_NE(control, nullptr);
  auto* range = qobject_cast<QAbstractSlider*>(control);
  auto* spin = qobject_cast<QSpinBox*>(control);
  ASSERT_TRUE(range || spin);
  EXPECT_EQ(range ? range->minimum() : spin->minimum(), number.minimum);
  EXPECT_EQ(range ? range->maximum() : spin->maximum(), number.maximum);
  EXPECT_EQ(range ? range->value() : spin->value(), number.minimum + 1);
  range ? range->setValue(number.maximum) : spin->setValue(number.maximum);
  dialog->accept();
  EXPECT_EQ(ProgramSettings().*number.value, number.maximum);
}

INSTANTIATE_TEST_SUITE_P(
    Controls, NumberControlTest,
    ::testing::Values(NumberCase{"winsetAlpha", kDialogs[0].make, 1102, &Settings::winsetAlpha, 0, 100},
                      NumberCase{"winmesRenew", kDialogs[0].make, 1174, &Settings::winmesRenew, 1, 11},
                      NumberCase{"bgmVolume", kDialogs[2].make, 1241, &Settings::soundsetBgmVolume, 0, 100},
                      NumberCase{"showSec", kDialogs[4].make, 1184, &Settings::imagesetShowSec, 0, 1000},
                      NumberCase{"imageAlpha", kDialogs[4].make, 1096, &Settings::imagesetAlpha, 0, 100}),
    [](const auto& info) { return std::string(info.param.name); });

using SoundDialogTest = DialogTest;

TEST_F(SoundDialogTest, SpcVolumeMovesInSteps) {
  ASSERT_EQ(ProgramSettings().spcsetVolume, 131072);
  SoundDialog dialog(nullptr);
  EXPECT_EQ(Control<QSlider>(dialog, 1240)->value(), 6);
  dialog.accept();
  EXPECT_EQ(ProgramSettings().spcsetVolume, 122880);
}

TEST_F(SoundDialogTest, SurroundIsStoredAsFourAndShownForAnyNonZeroValue) {
  for (const auto& [stored, afterOk] : {std::pair{4, 4}, std::pair{1, 4}, std::pair{0, 0}}) {
    ProgramSettings().spcsetSurnd = stored;
    SoundDialog dialog(nullptr);
    EXPECT_EQ(Control<QCheckBox>(dialog, 1238)->isChecked(), stored != 0);
    dialog.accept();
    EXPECT_EQ(ProgramSettings().spcsetSurnd, afterOk);
  }
}

TEST_F(SoundDialogTest, SampleRateOutsideTheListStandsInTheFieldAndTypedTextIsRead) {
  SoundDialog dialog(nullptr);
  auto* rate = Control<QComboBox>(dialog, 1234);
  EXPECT_EQ(rate->currentText(), "44100");
  EXPECT_EQ(rate->count(), 5);
  dialog.accept();
  EXPECT_EQ(ProgramSettings().spcsetHz, 44100);
  for (const auto& [typed, stored] : {std::pair{"96000", 96000}, std::pair{" -8000 ", -8000},
                                      std::pair{"abc", 0}, std::pair{"44k", 0}, std::pair{"99999999999", 0}}) {
    SoundDialog again(nullptr);
    Control<QComboBox>(again, 1234)->setEditText(QString::fromUtf8(typed));
    again.accept();
    EXPECT_EQ(ProgramSettings().spcsetHz, stored) << typed;
  }
}

TEST_F(SoundDialogTest, MidiDeviceIsTheSelectionLessOneOverThePortsInOrder) {
  SetMidiPortSystemForTesting(std::make_shared<test::RecordingMidiPorts>(std::vector<std::string>{"Synth A", "Synth B"}));
  {
    SoundDialog dialog(nullptr);
    auto* devices = Control<QComboBox>(dialog, 1242);
    ASSERT_EQ(devices->count(), 3);
    EXPECT_EQ(devices->itemText(0), "規定の音源(MIDI_MAPPER)");
    EXPECT_EQ(devices->itemText(2), "Synth B");
    EXPECT_EQ(devices->currentIndex(), 0);
    devices->setCurrentIndex(2);
    Control<QComboBox>(dialog, 1244)->setCurrentIndex(3);
    dialog.accept();
    EXPECT_EQ(ProgramSettings().midisetDevice, 1);
    EXPECT_EQ(ProgramSettings().midisetReset, 3);
  }
  {
    // A device that is gone selects nothing and stays stored.
    ProgramSettings().midisetDevice = 5;
    SoundDialog dialog(nullptr);
    EXPECT_EQ(Control<QComboBox>(dialog, 1242)->currentIndex(), -1);
    dialog.accept();
    EXPECT_EQ(ProgramSettings().midisetDevice, 5);
  }
  SetMidiPortSystemForTesting(nullptr);
}

class DisplayDialogTest : public DialogTest {
 protected:
  DisplayChoosers Choosers() {
    return DisplayChoosers{[this](int, QWidget*) { return colour; },
                           [this](const FontChoice&, QWidget*) { return font; }};
  }
  std::optional<int> colour;
  std::optional<FontChoice> font;
};

TEST_F(DisplayDialogTest, ChosenBackgroundColourIsStoredOnlyByOk) {
  colour = 0x123456;
  for (const bool ok : {false, true}) {
    DisplayDialog dialog(nullptr, Choosers());
    dialog.ChooseBackgroundColour();
    ok ? dialog.accept() : dialog.reject();
    EXPECT_EQ(ProgramSettings().winsetBackColor, ok ? 0x123456 : 0xFFFFFF);
  }
  colour.reset();  // the chooser cancelled
  DisplayDialog dialog(nullptr, Choosers());
  dialog.ChooseBackgroundColour();
  dialog.accept();
  EXPECT_EQ(ProgramSettings().winsetBackColor, 0x123456);
}

TEST_F(DisplayDialogTest, ChosenFontIsStoredAtOnceAndSurvivesCancel) {
  font = FontChoice{"Noto Sans CJK JP 長い名前の書体ですよ", 15, 700, 1, 0x0000FF};
  DisplayDialog dialog(nullptr, Choosers());
  dialog.ChooseFont();
  dialog.reject();
  const Settings& settings = ProgramSettings();
  EXPECT_EQ(settings.fontsetFontSize, 15);
  EXPECT_EQ(settings.fontsetFontWeight, 700);
  EXPECT_EQ(settings.fontsetFontItalic, 1);
  EXPECT_EQ(settings.fontsetFontColor, 0x0000FF);
  // Cut to the 31-byte field at a character boundary.
  EXPECT_EQ(settings.fontsetFontFace, "Noto Sans CJK JP 長い名前");
  EXPECT_EQ(Control<QLineEdit>(dialog, 1178)->text().toStdString(), settings.fontsetFontFace);
}

TEST_F(DisplayDialogTest, ColourChooserOffersTheSixteenCustomColours) {
  InstallCustomColours();
  EXPECT_EQ(QColorDialog::customColor(1), QColor(0, 0, 255));    // COLORREF 0xFF0000
  EXPECT_EQ(QColorDialog::customColor(9), QColor(0, 0, 128));    // 0x800000
  EXPECT_EQ(QColorDialog::customColor(14), QColor(128, 128, 0)); // 0x008080
}

}  // namespace
}  // namespace qorve
