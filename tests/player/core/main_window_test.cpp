#include "player/core/main_window.h"

#include "common/volume.h"
#include "support/qt_application.h"

#include "scripted_mixer.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QWheelEvent>

namespace qorve {
namespace {

class MainWindowWheelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::TestApplication();
    auto mixer = std::make_unique<test::ScriptedMixer>(30000);
    mixer_ = mixer.get();
    SetSystemMixerForTesting(std::move(mixer));
  }
  void TearDown() override { SetSystemMixerForTesting(nullptr); }

  void Turn(MainWindow& window, int delta) {
    QWheelEvent event(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(&window, &event);
  }

  test::ScriptedMixer* mixer_ = nullptr;
};

TEST_F(MainWindowWheelTest, ANotchStepsTheVolumeFromWhereItIs) {
  MainWindow window;
  Turn(window, 120);
  EXPECT_EQ(mixer_->writes, std::vector<uint16_t>{30000 + 5 * 65535 / 100});
  Turn(window, -120);
  EXPECT_EQ(mixer_->value, 30000);
}

TEST_F(MainWindowWheelTest, AVolumeThatCannotBeReadIsNotSteppedFromSilence) {
  MainWindow window;
  mixer_->readable = false;
  Turn(window, 120);
  Turn(window, -120);
  EXPECT_TRUE(mixer_->writes.empty());
  EXPECT_EQ(mixer_->value, 30000);
}

}  // namespace
}  // namespace qorve
