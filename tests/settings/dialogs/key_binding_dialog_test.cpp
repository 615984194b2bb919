// The key-binding dialog: what the lists offer and show, OK, AssignKey, and
// the capture window's key buttons.
#include "settings/dialogs/key_binding_dialog.h"

#include "settings/dialog_driver.h"
#include "settings/dialogs/key_capture_dialog.h"
#include "settings/key_input_fake.h"
#include "settings/keys/key_names.h"
#include "support/qt_application.h"
#include "support/settings_home.h"

#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QPushButton>

#include <gtest/gtest.h>

namespace qorve {
namespace {

constexpr int kPauseRow = 1;

class KeyBindingDialogTest : public test::SettingsHome {
 protected:
  void SetUp() override {
    test::SettingsHome::SetUp();
    test::TestApplication();
  }

  std::shared_ptr<test::SharedKeys> keys_ = std::make_shared<test::SharedKeys>();
};

TEST_F(KeyBindingDialogTest, ListsOfferEveryBindableKeyAndShowTheStoredOnes) {
  ProgramSettings().keysetNext = 97;  // numeric-pad 1
  KeyBindingDialog dialog(nullptr, test::SharedKeysFactory(keys_));
  ASSERT_EQ(KeyBindingRows().size(), 13u);
  for (std::size_t row = 0; row < KeyBindingRows().size(); ++row) {
    QComboBox* list = dialog.List(static_cast<int>(row));
    ASSERT_EQ(list->count(), 133);
    EXPECT_EQ(list->currentData().toInt(), ProgramSettings().*KeyBindingRows()[row].key);
    EXPECT_EQ(list->currentText().toStdString(), KeyName(list->currentData().toInt()));
  }
  QComboBox* list = dialog.List(0);
  for (int i = 1; i < list->count(); ++i) EXPECT_LT(list->itemData(i - 1).toInt(), list->itemData(i).toInt());
  EXPECT_EQ(dialog.List(0)->currentText(), "Escape");
  EXPECT_EQ(dialog.List(7)->currentText(), "KP_1");
}

TEST_F(KeyBindingDialogTest, OkStoresTheChoicesAndTheMouseSwitches) {
  ProgramSettings().keysetZoom = 5;  // not in the lists: kept, never a neighbour
  KeyBindingDialog dialog(nullptr, test::SharedKeysFactory(keys_));
  EXPECT_EQ(dialog.List(6)->currentIndex(), -1);
  dialog.List(kPauseRow)->setCurrentIndex(BindableIndexOf('K'));
  dialog.findChild<QCheckBox*>("control1097")->setChecked(false);
  dialog.findChild<QCheckBox*>("control1098")->setChecked(true);
  dialog.findChild<QPushButton*>("control1")->click();
  EXPECT_EQ(ProgramSettings().keysetPause, 'K');
  EXPECT_EQ(ProgramSettings().keysetZoom, 5);
  EXPECT_EQ(ProgramSettings().kestravoxLButtonExit, 0);
  EXPECT_EQ(ProgramSettings().kestravoxRButtonExit, 1);
}

TEST_F(KeyBindingDialogTest, AssignKeyStoresAtOnceAndSelectsTheKey) {
  KeyBindingDialog dialog(nullptr, test::SharedKeysFactory(keys_));
  dialog.AssignKey(kPauseRow, 243);
  EXPECT_EQ(ProgramSettings().keysetPause, 243);
  EXPECT_EQ(dialog.List(kPauseRow)->currentData().toInt(), 243);
  dialog.AssignKey(kPauseRow, 0);  // stored, the list keeps its choice
  EXPECT_EQ(ProgramSettings().keysetPause, 0);
  EXPECT_EQ(dialog.List(kPauseRow)->currentData().toInt(), 243);
}

struct CaptureButton {
  const char* control;
  int code;
};

class CaptureButtons : public KeyBindingDialogTest, public ::testing::WithParamInterface<CaptureButton> {};

TEST_P(CaptureButtons, GiveTheirFixedCodes) {
  KeyBindingDialog dialog(nullptr, test::SharedKeysFactory(keys_));
  dialog.findChild<QPushButton*>("control4")->click();  // the pause row's "入力"
  ASSERT_NE(dialog.CaptureWindow(), nullptr);
  dialog.CaptureWindow()->findChild<QPushButton*>(GetParam().control)->click();
  EXPECT_EQ(ProgramSettings().keysetPause, GetParam().code);
  EXPECT_EQ(dialog.List(kPauseRow)->currentData().toInt(), GetParam().code);
  EXPECT_EQ(dialog.CaptureWindow(), nullptr);
}

// Where polling hears no key (offscreen here, a native Wayland client for
// users) a key typed into the capture window is the one captured; keys the
// capture never takes change nothing.
TEST_F(KeyBindingDialogTest, AKeyTypedIntoTheCaptureWindowBindsWherePollingHearsNone) {
  ProgramSettings().keysetPause = 'P';
  KeyBindingDialog dialog(nullptr, test::SharedKeysFactory(keys_));
  dialog.findChild<QPushButton*>("control4")->click();
  ASSERT_NE(dialog.CaptureWindow(), nullptr);
  QKeyEvent hiragana(QEvent::KeyPress, Qt::Key_Hiragana, Qt::NoModifier);
  QCoreApplication::sendEvent(dialog.CaptureWindow(), &hiragana);
  ASSERT_NE(dialog.CaptureWindow(), nullptr);
  EXPECT_EQ(ProgramSettings().keysetPause, 'P');
  QKeyEvent f7(QEvent::KeyPress, Qt::Key_F7, Qt::NoModifier);
  QCoreApplication::sendEvent(dialog.CaptureWindow(), &f7);
  EXPECT_EQ(ProgramSettings().keysetPause, 0x76);
  EXPECT_EQ(dialog.CaptureWindow(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Buttons, CaptureButtons,
                         ::testing::Values(CaptureButton{"control5", 1}, CaptureButton{"control3", 2},
                                           CaptureButton{"control7", 4}, CaptureButton{"control9", 243},
                                           CaptureButton{"control12", 240}, CaptureButton{"control15", 242},
                                           CaptureButton{"control18", 13}, CaptureButton{"control20", 32}));

}  // namespace
}  // namespace qorve
