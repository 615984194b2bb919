#include "player/visual/errorfile.h"

#include "common/log.h"
#include "common/settings.h"
#include "platform/system/text.h"
#include "player/core/string_table.h"
#include "support/scoped_env.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace qorve {
namespace {

std::string CodeByte(int code) { return std::string(1, static_cast<char>(code)); }

std::string ErrorTextOf(ERRORFILE& file) {
  char buffer[256] = {};
  file.GetErrorText(buffer, sizeof buffer);
  return buffer;
}

struct MessageCase {
  const char* name;
  int codeByte;
  const char* locale;
  const char* text;
};

class ErrorFileMessage : public ::testing::TestWithParam<MessageCase> {};

TEST_P(ErrorFileMessage, IsTheStringOfTheCodeInTheUiLanguage) {
  test::ScopedEnv env;
  env.SetLocale(nullptr, nullptr, GetParam().locale);
  ERRORFILE file;
  EXPECT_EQ(file.Open(CodeByte(GetParam().codeByte), "", nullptr), 0);
  EXPECT_EQ(ErrorTextOf(file), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, ErrorFileMessage,
    ::testing::Values(MessageCase{"DllJapanese", 10, "ja_JP.UTF-8", "必要なＤＬＬが見つかりません。"},
                      MessageCase{"CodecJapanese", 7, "ja_JP.UTF-8", "対応するコーデックが見つかりません。"},
                      MessageCase{"CodecEnglish", 7, "en_US.UTF-8", "Codec isn't found. "},
                      MessageCase{"BrokenEnglishEndsInLineFeed", 11, "en_US.UTF-8", "File breaks. \n"},
                      MessageCase{"DirectShowHasNoEnglish", 15, "en_US.UTF-8", ""},
                      MessageCase{"NothingToPlayHasNoText", 9, "ja_JP.UTF-8", ""},
                      MessageCase{"HighByteIsANegativeCodeWithoutText", 0xFF, "ja_JP.UTF-8", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ErrorFile, IsUnplayableWithEmptyHintByDefault) {
  ERRORFILE file;
  EXPECT_EQ(file.Open(CodeByte(10), "", nullptr), 0);
  MediaInfo info;
  file.GetInfo(info);
  EXPECT_EQ(info.Kind, kKindUnplayable);
  EXPECT_STREQ(info.Codec, "");
  EXPECT_EQ(file.Close(), 0);
}

TEST(ErrorFile, HintFillsTheInstallLine) {
  ERRORFILE file;
  file.Open(CodeByte(14), "Adobe Acrobat Reader", nullptr);
  MediaInfo info;
  file.GetInfo(info);
  char line[256];
  std::snprintf(line, sizeof line, LoadString(1, UiLanguage::Japanese).c_str(), info.Codec);
  EXPECT_STREQ(line, "Adobe Acrobat Reader のインストールで再生できるかもしれません。");
}

TEST(ErrorFile, LongHintIsCutAtACharacterBoundary) {
  std::string hint;
  for (int i = 0; i < 60; ++i) hint += "あ";  // 180 bytes
  ERRORFILE file;
  file.Open(CodeByte(7), hint, nullptr);
  MediaInfo info;
  file.GetInfo(info);
  const std::string kept = info.Codec;
  EXPECT_EQ(kept.size(), 126u);  // 42 whole characters within 127 bytes
  EXPECT_TRUE(IsValidUtf8(kept));
}

TEST(ErrorFile, SmallBufferGetsWholeCharactersOnly) {
  test::ScopedEnv env;
  env.SetLocale(nullptr, nullptr, "ja_JP.UTF-8");
  ERRORFILE file;
  file.Open(CodeByte(3), "", nullptr);
  char buffer[8];
  file.GetErrorText(buffer, sizeof buffer);
  EXPECT_STREQ(buffer, "指定");
  file.GetErrorText(buffer, 0);  // nothing written, no crash
}

class ErrorFileLog : public test::TempHome {};

TEST_F(ErrorFileLog, LogsLifeMessageAndHint) {
  test::ScopedEnv env;
  env.SetLocale(nullptr, nullptr, "ja_JP.UTF-8");
  const int savedLog = ProgramSettings().kestravoxLog;
  ProgramSettings().kestravoxLog = 1;
  {
    ERRORFILE file;
    file.Open(CodeByte(10), "VBMP3", nullptr);
  }
  CloseLog();
  ProgramSettings().kestravoxLog = savedLog;
  EXPECT_EQ(test::ReadFile(settingsFolder() / "LOG.TXT"),
            "\"ERRORFILE コンストラクタ\" , \"0\" \r\n"
            "\"必要なＤＬＬが見つかりません。\" , \"10\" \r\n"
            "\"VBMP3\" , \"0\" \r\n"
            "\"ERRORFILE デストラクタ\" , \"0\" \r\n");
}

}  // namespace
}  // namespace qorve
