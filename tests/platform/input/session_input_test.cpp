// The program's input: polled keys and keys that arrive as events read as
// one state, and Qt's window events standing in for the polled pointer.
#include "platform/input/session_input.h"

#include "platform/qt/window_event_input.h"
#include "support/qt_application.h"

#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWindow>

#include <memory>

namespace qorve {
namespace {

constexpr int16_t kDown = static_cast<int16_t>(0x8000);

class SessionInputTest : public ::testing::Test {
 protected:
  SessionInputTest() {
    auto polled = std::make_unique<ScriptedInput>();
    polled_ = polled.get();
    input_ = std::make_unique<SessionInput>(std::move(polled));
  }
  ScriptedInput* polled_;
  std::unique_ptr<SessionInput> input_;
};

TEST_F(SessionInputTest, AKeyIsDownWhileAnySourceHoldsItAndPressedOnceWhateverTheSources) {
  polled_->Press('P');
  input_->FeedKey('P', true, FeedSource::kShortcut);
  EXPECT_EQ(input_->GetAsyncKeyState('P'), kDown | 1);
  EXPECT_EQ(input_->GetAsyncKeyState('P'), kDown);
  polled_->Release('P');
  EXPECT_EQ(input_->GetAsyncKeyState('P'), kDown);  // the shortcut still holds it
  input_->FeedKey('P', true, FeedSource::kWindow);
  input_->FeedKey('P', false, FeedSource::kShortcut);
  EXPECT_EQ(input_->GetAsyncKeyState('P'), kDown | 1);
  input_->ReleaseFed(FeedSource::kWindow);
  EXPECT_EQ(input_->GetAsyncKeyState('P'), 0);
  // A press let go before the poll still counts; codes outside 1..255 never.
  input_->FeedKey(kVkEscape, true, FeedSource::kShortcut);
  input_->FeedKey(kVkEscape, false, FeedSource::kShortcut);
  EXPECT_EQ(input_->GetAsyncKeyState(kVkEscape), 1);
  input_->FeedKey(300, true, FeedSource::kShortcut);
  EXPECT_EQ(input_->GetAsyncKeyState(300), 0);
}

TEST_F(SessionInputTest, WindowEventsReplaceThePolledPointerOnceTheyStandIn) {
  polled_->SetCursor(500, 600);
  polled_->Press(kVkLButton);
  int x = 0, y = 0;
  ASSERT_TRUE(input_->GetCursorPos(x, y));
  EXPECT_EQ(x, 500);
  EXPECT_EQ(input_->GetAsyncKeyState(kVkLButton), kDown | 1);

  input_->UseWindowEventsForPointer();
  EXPECT_FALSE(input_->GetCursorPos(x, y));  // no window event yet
  EXPECT_EQ(input_->GetAsyncKeyState(kVkLButton), 0);
  input_->FeedCursor(10, 20);
  ASSERT_TRUE(input_->GetCursorPos(x, y));
  EXPECT_EQ(x, 10);
  EXPECT_EQ(y, 20);
  polled_->Press('Q');  // keys still come from the polled backend too
  EXPECT_EQ(input_->GetAsyncKeyState('Q'), kDown | 1);
}

TEST_F(SessionInputTest, ThePolledPointerIsConvertedOnceAndTheFedOneNot) {
  // A 2560 x 1600 screen at ratio 2 right of a 1280 x 1024 one at 1.
  input_->SetScreens({{0, 0, 1280, 1024, 1.0}, {1280, 0, 2560, 1600, 2.0}});
  polled_->SetCursor(1280 + 801, 603);
  int x = 0, y = 0;
  ASSERT_TRUE(input_->GetCursorPos(x, y));
  EXPECT_EQ(x, 1280 + 400);
  EXPECT_EQ(y, 301);
  ASSERT_TRUE(input_->GetCursorPos(x, y));  // asked again: the same, not halved twice
  EXPECT_EQ(x, 1280 + 400);
  input_->UseWindowEventsForPointer();
  input_->FeedCursor(1280 + 801, 603);  // Qt's events are in logical pixels already
  ASSERT_TRUE(input_->GetCursorPos(x, y));
  EXPECT_EQ(x, 1280 + 801);
  EXPECT_EQ(y, 603);
}

TEST(WindowEventInputTest, ClicksKeysAndThePointerOnAWindowFeedTheInput) {
  test::TestApplication();
  SessionInput input(nullptr);
  QWindow window;
  window.setGeometry(100, 200, 300, 80);
  {
    WindowEventInput events(input);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 6), QPointF(105, 206), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &press);
    int x = 0, y = 0;
    ASSERT_TRUE(input.GetCursorPos(x, y));
    EXPECT_EQ(x, 105);
    EXPECT_EQ(y, 206);
    EXPECT_EQ(input.GetAsyncKeyState(kVkLButton), kDown | 1);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(5, 6), QPointF(105, 206), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &release);
    EXPECT_EQ(input.GetAsyncKeyState(kVkLButton), 0);

    QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &right);
    QKeyEvent plus(QEvent::KeyPress, Qt::Key_Plus, Qt::KeypadModifier);
    QCoreApplication::sendEvent(&window, &plus);
    EXPECT_EQ(input.GetAsyncKeyState(kVkRight), kDown | 1);
    EXPECT_EQ(input.GetAsyncKeyState(kVkAdd), kDown | 1);
    // Keys let go while another window has the keyboard are never reported.
    QFocusEvent away(QEvent::FocusOut);
    QCoreApplication::sendEvent(&window, &away);
    EXPECT_EQ(input.GetAsyncKeyState(kVkRight), 0);
  }
  // Gone with its watcher: later events change nothing.
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QCoreApplication::sendEvent(&window, &escape);
  EXPECT_EQ(input.GetAsyncKeyState(kVkEscape), 0);
}

TEST(WindowEventInputTest, KeySymbolsAndQtKeysNameTheSameVirtualKeys) {
  EXPECT_EQ(VirtualKeyOfQtKey(Qt::Key_P, 0, false), 'P');
  EXPECT_EQ(VirtualKeyOfQtKey(Qt::Key_P, 'P', false), 'P');  // shifted symbol
  EXPECT_EQ(VirtualKeyOfQtKey(Qt::Key_F4, 0, false), kVkF4);
  EXPECT_EQ(VirtualKeyOfQtKey(Qt::Key_Minus, 0, true), kVkSubtract);
  EXPECT_EQ(VirtualKeyOfQtKey(Qt::Key_Escape, 0xff1b, false), kVkEscape);
  EXPECT_EQ(VirtualKeyOfQtKey(Qt::Key_unknown, 0, false), 0);
}

}  // namespace
}  // namespace qorve
