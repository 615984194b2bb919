#include "platform/system/text.h"

#include <gtest/gtest.h>

#include <cstring>

namespace qorve {
namespace {

TEST(TextTest, Utf16LittleEndianBecomesUtf8) {
  EXPECT_EQ(Utf16LeToUtf8(std::string("A\0\x42\x30", 4)), "Aあ");
  EXPECT_EQ(Utf16LeToUtf8(std::string("\x3D\xD8\x00\xDE", 4)), "😀");  // surrogate pair
  EXPECT_EQ(Utf16LeToUtf8(std::string("A\0\0\0B\0", 6)), "A");        // stops at NUL
  EXPECT_EQ(Utf16LeToUtf8(std::string("\x00\xD8" "A\0", 4)), "\xEF\xBF\xBD" "A");  // lone surrogate
  EXPECT_EQ(Utf16LeToUtf8(std::string("A\0B", 3)), "A");              // odd byte ignored
}

TEST(TextTest, Utf8RoundTripsThroughUtf16) {
  for (const char* text : {"", "plain", "ＭＳ Ｐゴシック", "😀 and ü"}) {
    EXPECT_EQ(Utf16LeToUtf8(Utf8ToUtf16Le(text)), text);
  }
}

TEST(TextTest, ShiftJisIsDecodedAndBadBytesReplaced) {
  EXPECT_EQ(Cp932ToUtf8("\x82\xa0\x82\xa2"), "あい");
  EXPECT_EQ(Cp932ToUtf8("\x87\x40"), "①");  // an NEC extension only CP932 has
  EXPECT_EQ(Cp932ToUtf8("ab\x82"), "ab\xEF\xBF\xBD");  // cut in the middle of a character
  EXPECT_EQ(Cp932ToUtf8("\xA0x"), "\xEF\xBF\xBDx");
}

TEST(TextTest, RawTextKeepsUtf8AndDecodesEverythingElse) {
  EXPECT_TRUE(IsValidUtf8("あいう"));
  EXPECT_FALSE(IsValidUtf8("\x82\xa0"));
  EXPECT_FALSE(IsValidUtf8("\xC0\x80"));          // overlong NUL
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // encoded surrogate
  EXPECT_EQ(TextToUtf8("あ"), "あ");
  EXPECT_EQ(TextToUtf8("\x82\xa0"), "あ");
}

TEST(TextTest, CutNeverSplitsACharacter) {
  const std::string text = "aあい";  // 1 + 3 + 3 bytes
  EXPECT_EQ(CutUtf8(text, 100), text);
  EXPECT_EQ(CutUtf8(text, 7), text);
  EXPECT_EQ(CutUtf8(text, 6), "aあ");
  EXPECT_EQ(CutUtf8(text, 4), "aあ");
  EXPECT_EQ(CutUtf8(text, 3), "a");
  EXPECT_EQ(CutUtf8(text, 0), "");

  char buffer[5];
  std::memset(buffer, 'x', sizeof buffer);
  CopyToBuffer(text, buffer, 4);
  EXPECT_STREQ(buffer, "a");
  EXPECT_EQ(buffer[4], 'x');  // nothing written past the size
}

TEST(TextTest, CaseInsensitiveOnlyForAscii) {
  EXPECT_TRUE(EqualsIgnoreCase("WinSet", "WINSET"));
  EXPECT_FALSE(EqualsIgnoreCase("WINSET", "WINSE"));
  EXPECT_FALSE(EqualsIgnoreCase("Ａ", "ａ"));
}

}  // namespace
}  // namespace qorve
