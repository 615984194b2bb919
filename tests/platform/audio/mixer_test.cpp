#include "platform/audio/mixer.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace qorve {
namespace {

TEST(MixerTest, VirtualMixerRemembersWhatWasSet) {
  auto mixer = CreateVirtualMixer(1000);
  uint16_t value = 0;
  ASSERT_TRUE(mixer->ReadMaster(value));
  EXPECT_EQ(value, 1000);
  ASSERT_TRUE(mixer->WriteMaster(65535));
  ASSERT_TRUE(mixer->ReadMaster(value));
  EXPECT_EQ(value, 65535);
}

TEST(MixerTest, EnvironmentChoosesTheVirtualMixerAndItsStart) {
  setenv("QORVE_MIXER", "virtual", 1);
  setenv("QORVE_MIXER_START", "1234", 1);
  SetSystemMixerForTesting(nullptr);
  uint16_t value = 0;
  ASSERT_TRUE(SystemMixer().ReadMaster(value));
  EXPECT_EQ(value, 1234);

  setenv("QORVE_MIXER_START", "not a number", 1);
  SetSystemMixerForTesting(nullptr);
  ASSERT_TRUE(SystemMixer().ReadMaster(value));
  EXPECT_EQ(value, 65535);
  unsetenv("QORVE_MIXER_START");
  SetSystemMixerForTesting(nullptr);
}

TEST(MixerTest, AlsaMixerWithoutADeviceFailsCleanly) {
  // A control that cannot exist: the failure path runs and nothing real is touched.
  setenv("QORVE_MIXER_DEVICE", "hw:CARD=NoSuchQorveCard", 1);
  auto mixer = CreateAlsaMixer();
  uint16_t value = 4321;
  EXPECT_FALSE(mixer->ReadMaster(value));
  EXPECT_EQ(value, 4321);
  EXPECT_FALSE(mixer->WriteMaster(100));
  unsetenv("QORVE_MIXER_DEVICE");
}

}  // namespace
}  // namespace qorve
