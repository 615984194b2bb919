#include "player/core/tray_mode.h"

#include "common/settings.h"
#include "common/volume.h"
#include "platform/audio/mixer.h"
#include "player/core/player_state.h"
#include "display_fake.h"
#include "scripted_mixer.h"

#include <gtest/gtest.h>

namespace qorve {
namespace {

class TrayModeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = settings();
    settings() = Settings{};
    settings().soundsetBgmVolDown = 1;
    settings().soundsetBgmVolume = 20;
    Player().volumeAtStart = {};
    Player().volumeBeforeTray = {};
    auto mixer = std::make_unique<test::ScriptedMixer>(50000);
    mixer_ = mixer.get();
    SetSystemMixerForTesting(std::move(mixer));
  }
  void TearDown() override {
    SetSystemMixerForTesting(nullptr);
    settings() = saved_;
  }
  static Settings& settings() { return ProgramSettings(); }
  static uint16_t Volume() {
    uint16_t value = 0;
    GetVolume(value);
    return value;
  }

  test::RecordingDisplay display;
  test::ScriptedMixer* mixer_ = nullptr;
  Settings saved_;
};

TEST_F(TrayModeTest, EnteringLowersTheVolumeAndKeepsTheMusicGoing) {
  EnterTray(display);
  EXPECT_EQ(display.hides, 1);
  EXPECT_EQ(settings().winsetTask, 1);
  EXPECT_EQ(settings().soundsetLoop, 1);  // once becomes loop
  EXPECT_EQ(Volume(), 20 * 655);
  EXPECT_EQ(Player().volumeBeforeTray, 50000 / 655);

  RestoreTrayVolume();
  EXPECT_EQ(Volume(), 50000 / 655 * 655);
}

TEST_F(TrayModeTest, SeriesStaysAndWithoutBgmVolDownTheVolumeStays) {
  settings().soundsetLoop = 2;
  settings().soundsetBgmVolDown = 0;
  EnterTray(display);
  EXPECT_EQ(settings().soundsetLoop, 2);
  EXPECT_EQ(Volume(), 50000);
  RestoreTrayVolume();
  EXPECT_EQ(Volume(), 50000);
}

TEST_F(TrayModeTest, ExitRestoresTheStartVolumeBeforeTheTrayVolume) {
  settings().kestravoxResetVolume = 1;
  RememberVolumeAtStart();
  EnterTray(display);
  RestoreVolumeAtExit();
  EXPECT_EQ(Volume(), 50000);  // the start value, not the rounded tray percentage
}

TEST_F(TrayModeTest, ExitInTheTrayRestoresTheVolumeFromBeforeIt) {
  EnterTray(display);
  RestoreVolumeAtExit();
  EXPECT_EQ(Volume(), 50000 / 655 * 655);
}

TEST_F(TrayModeTest, ExitOutsideTheTrayLeavesTheVolumeAlone) {
  EnterTray(display);
  settings().winsetTask = 0;  // restored by a click on the icon
  SetVolume(1234);            // and changed by the user since
  RestoreVolumeAtExit();
  EXPECT_EQ(Volume(), 1234);
}

// A volume that could not be read is not known: restoring it would set
// whatever the program happened to hold, silence at first.
TEST_F(TrayModeTest, AStartVolumeThatCouldNotBeReadIsNotRestored) {
  settings().kestravoxResetVolume = 1;
  mixer_->readable = false;
  RememberVolumeAtStart();
  mixer_->readable = true;
  SetVolume(40000);
  mixer_->writes.clear();
  RestoreVolumeAtExit();
  EXPECT_TRUE(mixer_->writes.empty());
  EXPECT_EQ(Volume(), 40000);
}

TEST_F(TrayModeTest, OnlyATrayVolumeReadThisTimeIsRestored) {
  mixer_->readable = false;
  EnterTray(display);
  mixer_->readable = true;
  RestoreTrayVolume();
  RestoreVolumeAtExit();
  EXPECT_TRUE(mixer_->writes.empty());

  // Read this time: lowered, then restored once.
  EnterTray(display);
  RestoreTrayVolume();
  EXPECT_EQ(mixer_->writes, (std::vector<uint16_t>{20 * 655, 50000 / 655 * 655}));

  // The next time it cannot be read, so the old value does not come back.
  SetVolume(12345);
  mixer_->writes.clear();
  mixer_->readable = false;
  EnterTray(display);
  RestoreTrayVolume();
  RestoreVolumeAtExit();
  EXPECT_TRUE(mixer_->writes.empty());
  EXPECT_EQ(mixer_->value, 12345);
}

}  // namespace
}  // namespace qorve
