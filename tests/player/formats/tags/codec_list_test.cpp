// The codec list: the user's copy in the settings folder wins over the one
// shipped in the program folder, key by key, and a missing key gives the default.
#include "player/formats/tags/codec_list.h"

#include "platform/system/folders.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

namespace qorve {
namespace {

class CodecList : public test::TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    std::filesystem::create_directories(root() / "program");
    SetProgramFolderForTesting(root() / "program");
    test::WriteFile(root() / "program" / "Codec", "[WAV]\r\n0x0001=PCM\r\n0x0055=MPEG Layer-3\r\n[AVI]\r\nXVID=Xvid\r\n");
  }
  void TearDown() override {
    SetProgramFolderForTesting({});
    TempHome::TearDown();
  }
};

TEST_F(CodecList, SettingsFolderFirstThenProgramFolderThenDefault) {
  test::WriteFile(settingsFolder() / "Codec", "[wav]\n0x0001=My PCM\n");
  EXPECT_EQ(CodecListText("WAV", "0x0001", "d"), "My PCM");
  EXPECT_EQ(CodecListText("WAV", "0x0055", "d"), "MPEG Layer-3");
  EXPECT_EQ(CodecListText("AVI", "XVID", "d"), "Xvid");
  EXPECT_EQ(CodecListText("WAV", "0x0002", "0x0002(ID値)"), "0x0002(ID値)");
}

TEST_F(CodecList, ShiftJisNamesAreShownAsText) {
  test::WriteFile(settingsFolder() / "Codec", "[WAV]\n0x0002=\x88\xB3\x8F\x6B\n");
  EXPECT_EQ(CodecListText("WAV", "0x0002", "d"), "圧縮");
}

TEST(ShippedCodecList, NamesTheCommonWaveTags) {
  const auto shipped = ProgramFolder() / "Codec";
  ASSERT_TRUE(std::filesystem::exists(shipped)) << shipped;
  EXPECT_EQ(CodecListText("WAV", "0x0001", "d"), "PCM");
  EXPECT_EQ(CodecListText("WAV", "0x0055", "d"), "MPEG Layer-3");
  EXPECT_EQ(CodecListText("AVI", "XVID", "d"), "Xvid");
}

}  // namespace
}  // namespace qorve
