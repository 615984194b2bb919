#include "player/visual/video_window.h"

#include "common/log.h"
#include "fake_media.h"
#include "platform/system/clock.h"
#include "player/core/player_state.h"
#include "player/visual/video_window_widget.h"
#include "player/visual/wnd_set.h"
#include "support/qt_application.h"
#include "support/settings_home.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QMouseEvent>
#include <QWheelEvent>

namespace qorve {
namespace {

void Mouse(QWidget* widget, QEvent::Type type, QPoint at) {
  QMouseEvent event(type, QPointF(at), widget->mapToGlobal(QPointF(at)), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QCoreApplication::sendEvent(widget, &event);
}

class WheelCounter : public QObject {
 public:
  int wheels = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Wheel) ++wheels;
    return false;
  }
};

class VideoWindowTest : public test::SettingsHome {
 protected:
  void SetUp() override {
    SettingsHome::SetUp();
    test::TestApplication();
    auto media = std::make_unique<test::FakeMedia>(kKindVideo);
    fake = media.get();
    Player().media = std::move(media);
    Player().inputBlockedUntil = TimeGetTime();
    Player().clickConsumed = 0;
  }
  void TearDown() override {
    DestroyVideoWindow();
    Player().media.reset();
    SettingsHome::TearDown();
  }
  test::FakeMedia* fake = nullptr;
};

TEST_F(VideoWindowTest, OneWindowAtATime) {
  EXPECT_EQ(GetVideoWindow(), nullptr);
  WindowHandle first = CreateVideoWindow();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(CreateVideoWindow(), first);
  EXPECT_EQ(GetVideoWindow(), first);
  VideoWindow* widget = VideoWindowWidget();
  EXPECT_EQ(widget->objectName(), "QORVEVIDEO");
  EXPECT_EQ(widget->geometry(), QRect(0, 0, 100, 100));
  EXPECT_TRUE(widget->windowFlags() & Qt::WindowStaysOnTopHint);
  DestroyVideoWindow();
  EXPECT_EQ(GetVideoWindow(), nullptr);
  DestroyVideoWindow();  // nothing to destroy: no harm
}

TEST_F(VideoWindowTest, DoubleClickSwitchesFullScreenAndBlocksInput) {
  CreateVideoWindow();
  VideoWindow* widget = VideoWindowWidget();
  widget->show();
  Mouse(widget, QEvent::MouseButtonDblClick, QPoint(50, 50));
  EXPECT_EQ(fake->lastVideoSize, 3);
  EXPECT_EQ(ProgramSettings().videosetFull, 1);
  EXPECT_EQ(Player().clickConsumed, 1);
  // Within the 30 ms block a second double click does nothing.
  fake->lastVideoSize = -1;
  widget->ToggleFullScreen();
  EXPECT_EQ(fake->lastVideoSize, -1);
  EXPECT_EQ(ProgramSettings().videosetFull, 1);
  // Later, in full screen, a press in the top-left corner switches back.
  Player().inputBlockedUntil = TimeGetTime();
  Mouse(widget, QEvent::MouseButtonPress, QPoint(40, 40));
  EXPECT_EQ(fake->lastVideoSize, -1);
  Mouse(widget, QEvent::MouseButtonPress, QPoint(10, 10));
  EXPECT_EQ(fake->lastVideoSize, 0);
  EXPECT_EQ(ProgramSettings().videosetFull, 0);
}

// Without a window manager the window follows the pointer itself; either
// way the press is taken, so that the pointer leaving the window while the
// button is down does not end the player as a click outside it would.
TEST_F(VideoWindowTest, DraggingTheFrameOrThePictureTakesThePress) {
  CreateVideoWindow();
  VideoWindow* widget = VideoWindowWidget();
  widget->setGeometry(100, 100, 328, 248);
  widget->show();
  const QPoint corner(326, 246);
  Mouse(widget, QEvent::MouseButtonPress, corner);
  EXPECT_EQ(Player().clickConsumed, 1);
  QMouseEvent move(QEvent::MouseMove, QPointF(corner), widget->mapToGlobal(QPointF(corner + QPoint(200, 150))),
                   Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(widget, &move);
  QMouseEvent release(QEvent::MouseButtonRelease, QPointF(corner),
                      widget->mapToGlobal(QPointF(corner + QPoint(200, 150))), Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QCoreApplication::sendEvent(widget, &release);
  EXPECT_EQ(widget->geometry(), QRect(100, 100, 528, 398));

  Player().clickConsumed = 0;
  Mouse(widget, QEvent::MouseButtonPress, QPoint(160, 120));
  EXPECT_EQ(Player().clickConsumed, 1);
}

TEST_F(VideoWindowTest, DoubleClickWithoutMediaDoesNothing) {
  CreateVideoWindow();
  Player().media.reset();
  VideoWindowWidget()->ToggleFullScreen();
  EXPECT_EQ(ProgramSettings().videosetFull, 0);
}

TEST_F(VideoWindowTest, ResizeAndTimerRefitThePicture) {
  CreateVideoWindow();
  VideoWindow* widget = VideoWindowWidget();
  widget->show();
  const int before = fake->fitCalls;
  widget->resize(320, 240);
  EXPECT_GT(fake->fitCalls, before);
  const int afterResize = fake->fitCalls;
  StartVideoWindowTimer(1);
  QElapsedTimer waited;
  waited.start();
  while (waited.elapsed() < 50) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  EXPECT_EQ(fake->fitCalls, afterResize + 1);
}

TEST_F(VideoWindowTest, WheelGoesToTheDisplayWindow) {
  QWidget display(nullptr, Qt::Tool | Qt::FramelessWindowHint);
  auto media = std::make_unique<test::FakeMedia>(kKindSound);
  Player().media = std::move(media);
  DisplayWindowSet().Attach(&display);
  WheelCounter counter;
  display.installEventFilter(&counter);
  CreateVideoWindow();
  QWheelEvent wheel(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                    Qt::NoScrollPhase, false);
  QCoreApplication::sendEvent(VideoWindowWidget(), &wheel);
  EXPECT_EQ(counter.wheels, 1);
}

}  // namespace
}  // namespace qorve

namespace qorve {
namespace {

// Without a native window (offscreen here, a Wayland client for users) the
// window paints the newest picture handed over, scaled to the picture's place.
TEST_F(VideoWindowTest, PaintsThePicturesItIsHandedWhereNoNativeWindowExists) {
  CreateVideoWindow();
  VideoWindow* window = VideoWindowWidget();
  ASSERT_NE(window, nullptr);
  ASSERT_EQ(window->NativeWindow(), 0u);
  ASSERT_TRUE(window->TakesPictures());
  window->resize(200, 150);
  window->PlacePicture(0, 0, 80, 60);
  std::vector<uint8_t> red(8 * 6 * 4);
  for (size_t i = 0; i < red.size(); i += 4) red[i + 2] = 255;  // blue, green, red, unused
  window->ShowPicture(red.data(), 8, 6, 8 * 4);
  red.assign(red.size(), 0);  // the window keeps its own copy
  QCoreApplication::processEvents();
  const QImage shown = window->grab().toImage();
  const QColor middle = shown.pixelColor(4 * kVideoWindowEdge + 40, 4 * kVideoWindowEdge + 30);
  EXPECT_GT(middle.red(), 200);
  EXPECT_LT(middle.green(), 40);
}

}  // namespace
}  // namespace qorve
