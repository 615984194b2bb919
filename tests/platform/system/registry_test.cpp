#include "platform/system/registry.h"

#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <cstring>

namespace qorve {
namespace {

class RegistryTest : public test::TempHome {};

constexpr const char* kSusieKey = "Software\\Morivane\\Susie\\Plug-in";

TEST_F(RegistryTest, MissingKeyFailsAndLeavesTheBufferAlone) {
  char buffer[16] = "untouched";
  EXPECT_EQ(ReadRegistryString(RegistryRoot::CurrentUser, kSusieKey, "Path", buffer, sizeof buffer), 0);
  EXPECT_STREQ(buffer, "untouched");
}

TEST_F(RegistryTest, ValuesRoundTripAndMissingValuesLeaveTheBufferAlone) {
  ASSERT_EQ(WriteRegistryString(RegistryRoot::CurrentUser, kSusieKey, "Path", "/opt/spi"), 1);
  EXPECT_TRUE(std::filesystem::exists(settingsFolder() / "registry.ini"));
  char buffer[32] = "untouched";
  EXPECT_EQ(ReadRegistryString(RegistryRoot::CurrentUser, kSusieKey, "Other", buffer, sizeof buffer), 1);
  EXPECT_STREQ(buffer, "untouched");
  EXPECT_EQ(ReadRegistryString(RegistryRoot::CurrentUser, "software\\morivane\\susie\\plug-in", "PATH", buffer,
                               sizeof buffer),
            1);
  EXPECT_STREQ(buffer, "/opt/spi");
  EXPECT_EQ(ReadRegistryString(RegistryRoot::LocalMachine, kSusieKey, "Path", buffer, sizeof buffer), 0);
}

TEST_F(RegistryTest, LongValuesNeverOverrunTheCallersBuffer) {
  const std::string longPath = "/home/ユーザー/" + std::string(600, 'p');
  ASSERT_EQ(WriteRegistryString(RegistryRoot::CurrentUser, kSusieKey, "Path", longPath), 1);
  char buffer[24];
  std::memset(buffer, '#', sizeof buffer);
  ASSERT_EQ(ReadRegistryString(RegistryRoot::CurrentUser, kSusieKey, "Path", buffer, 21), 1);
  EXPECT_STREQ(buffer, "/home/ユーザー/p");  // 20 bytes at most
  ASSERT_EQ(ReadRegistryString(RegistryRoot::CurrentUser, kSusieKey, "Path", buffer, 9), 1);
  EXPECT_STREQ(buffer, "/home/");  // never half a character
  for (int i = 21; i < 24; ++i) EXPECT_EQ(buffer[i], '#');
}

}  // namespace
}  // namespace qorve
