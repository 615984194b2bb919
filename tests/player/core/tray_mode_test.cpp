#include "player/core/tray_mode.h"

#include "common/settings.h"
#include "common/volume.h"
#include "platform/mixer.h"
#include "player/core/player_state.h"
#include "display_fake.h"

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
    Player().volumeAtStart = 0;
    Player().volumeBeforeTray = 0;
    SetSystemMixerForTesting(CreateVirtualMixer(50000));
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

TEST_F(TrayModeTest, AnUnreadableVolumeIsNeitherRememberedNorChanged) {
  setenv("QORVE_MIXER_DEVICE", "hw:CARD=NoSuchQorveCard", 1);
  SetSystemMixerForTesting(CreateAlsaMixer());
  Player().volumeBeforeTray = 77;
  EnterTray(display);
  EXPECT_EQ(Player().volumeBeforeTray, 77);
  unsetenv("QORVE_MIXER_DEVICE");
}

}  // namespace
}  // namespace qorve
