// The key-binding dialog with its capture thread running: a key pressed on
// the shared fake keyboard reaches the dialog, cancel and a new capture end
// the old thread, and a captured key outlives closing without OK.
#include "settings/dialogs/key_binding_dialog.h"

#include "settings/dialog_driver.h"
#include "settings/dialogs/key_capture_dialog.h"
#include "settings/key_input_fake.h"
#include "settings/keys/key_names.h"
#include "support/qt_application.h"
#include "support/settings_home.h"

#include <QComboBox>
#include <QPushButton>

#include <gtest/gtest.h>

namespace qorve {
namespace {

constexpr int kPauseRow = 1;

class KeyBindingCapture : public test::SettingsHome {
 protected:
  void SetUp() override {
    test::SettingsHome::SetUp();
    test::TestApplication();
  }

  std::shared_ptr<test::SharedKeys> keys_ = std::make_shared<test::SharedKeys>();
};

TEST_F(KeyBindingCapture, CapturedKeyStaysBoundWhenTheDialogClosesWithoutOk) {
  KeyBindingDialog dialog(nullptr, test::SharedKeysFactory(keys_));
  dialog.List(0)->setCurrentIndex(BindableIndexOf('Q'));  // a hand-made choice, lost without OK
  dialog.StartCapture(kPauseRow);
  keys_->Press(kVkLButton);  // mouse buttons bind nothing
  test::WaitFor([] { return false; }, 600);
  EXPECT_NE(dialog.CaptureWindow(), nullptr);
  keys_->Tap('X');
  ASSERT_TRUE(test::WaitFor([&] { return dialog.CaptureWindow() == nullptr; }));
  EXPECT_EQ(ProgramSettings().keysetPause, 'X');
  EXPECT_EQ(dialog.List(kPauseRow)->currentText(), "X");
  dialog.reject();
  EXPECT_EQ(ProgramSettings().keysetPause, 'X');
  EXPECT_EQ(ProgramSettings().keysetClose, 27);
}

TEST_F(KeyBindingCapture, CancelEndsTheCaptureSoALaterKeyBindsNothing) {
  KeyBindingDialog dialog(nullptr, test::SharedKeysFactory(keys_));
  dialog.StartCapture(kPauseRow);
  dialog.CaptureWindow()->findChild<QPushButton*>("control2")->click();
  EXPECT_EQ(dialog.CaptureWindow(), nullptr);
  test::WaitFor([] { return false; }, 600);
  keys_->Press('X');
  test::WaitFor([] { return false; }, 100);
  EXPECT_EQ(ProgramSettings().keysetPause, 'P');
}

TEST_F(KeyBindingCapture, NewCaptureReplacesTheRunningOne) {
  KeyBindingDialog dialog(nullptr, test::SharedKeysFactory(keys_));
  dialog.StartCapture(kPauseRow);
  dialog.StartCapture(0);
  test::WaitFor([] { return false; }, 550);
  keys_->Tap('Y');
  ASSERT_TRUE(test::WaitFor([&] { return dialog.CaptureWindow() == nullptr; }));
  EXPECT_EQ(ProgramSettings().keysetClose, 'Y');
  EXPECT_EQ(ProgramSettings().keysetPause, 'P');
  EXPECT_EQ(keys_->pollers.load(), 2);
}

}  // namespace
}  // namespace qorve
