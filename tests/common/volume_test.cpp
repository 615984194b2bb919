#include "common/volume.h"

#include "platform/audio/mixer.h"

#include <gtest/gtest.h>

namespace qorve {
namespace {

TEST(VolumeArithmeticTest, KeysStepBy3276WithinTheRange) {
  EXPECT_EQ(VolumeAfterKeyUp(64000), 65535);
  EXPECT_EQ(VolumeAfterKeyUp(62259), 65535);
  EXPECT_EQ(VolumeAfterKeyUp(1000), 4276);
  EXPECT_EQ(VolumeAfterKeyDown(3000), 0);
  EXPECT_EQ(VolumeAfterKeyDown(3276), 0);
  EXPECT_EQ(VolumeAfterKeyDown(10000), 6724);
}

TEST(VolumeArithmeticTest, WheelStepsAreAShareOfFullScale) {
  const uint16_t middle = 30000;
  EXPECT_EQ(VolumeAfterWheel(middle, 120), middle + 5 * 65535 / 100);   // one notch: 5 %
  EXPECT_EQ(VolumeAfterWheel(middle, -120), middle - 5 * 65535 / 100);
  EXPECT_EQ(VolumeAfterWheel(middle, 240), middle + 2 * 65535 / 100);   // 600 ÷ 240 = 2.5 → 2 %
  EXPECT_EQ(VolumeAfterWheel(middle, 60), middle + 10 * 65535 / 100);
  EXPECT_EQ(VolumeAfterWheel(middle, -60), middle - 10 * 65535 / 100);
  EXPECT_EQ(VolumeAfterWheel(64000, 120), 65535);
  EXPECT_EQ(VolumeAfterWheel(1000, -120), 0);
  EXPECT_EQ(VolumeAfterWheel(middle, 1000), middle);  // under one percent: no change
  EXPECT_EQ(VolumeAfterWheel(middle, 0), middle);     // no turn, no change
  EXPECT_EQ(VolumeAfterWheel(middle, 1), 0);          // a delta of 1 does not count as up
}

TEST(VolumeArithmeticTest, PercentagesUse655) {
  EXPECT_EQ(VolumeToPercent(65535), 100);
  EXPECT_EQ(VolumeToPercent(654), 0);
  EXPECT_EQ(PercentToVolume(100), 65500);
  EXPECT_EQ(PercentToVolume(33), 21615);
  EXPECT_EQ(PercentToVolume(200), 65535);  // a stored percentage above 100 is held to full scale
  EXPECT_EQ(PercentToVolume(-5), 0);
  EXPECT_EQ(BgmVolumeDefault(65535), 33);
  EXPECT_EQ(BgmVolumeDefault(0), 0);
}

TEST(VolumeTest, ReadsAndSetsTheSystemMixer) {
  SetSystemMixerForTesting(CreateVirtualMixer(40000));
  uint16_t value = 0;
  ASSERT_EQ(GetVolume(value), 1);
  EXPECT_EQ(value, 40000);
  ASSERT_EQ(SetVolume(VolumeAfterKeyUp(value)), 1);
  ASSERT_EQ(GetVolume(value), 1);
  EXPECT_EQ(value, 43276);
  SetSystemMixerForTesting(nullptr);
}

TEST(VolumeTest, NoMixerMeansZeroResultsAndNoChange) {
  setenv("QORVE_MIXER_DEVICE", "hw:CARD=NoSuchQorveCard", 1);
  SetSystemMixerForTesting(CreateAlsaMixer());
  uint16_t value = 777;
  EXPECT_EQ(GetVolume(value), 0);
  EXPECT_EQ(value, 777);
  EXPECT_EQ(SetVolume(1), 0);
  SetSystemMixerForTesting(nullptr);
  unsetenv("QORVE_MIXER_DEVICE");
}

}  // namespace
}  // namespace qorve
