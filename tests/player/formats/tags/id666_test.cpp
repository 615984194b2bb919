// The ID666 tag of SPC images: texts cut at their fields, CP932 taken to
// UTF-8, and the length rules.
#include "player/formats/tags/id666.h"

#include <gtest/gtest.h>

#include <string>

namespace qorve::test {
namespace {

std::string Image(const std::string& seconds, const std::string& title = "") {
  std::string image(0x100, '\0');
  image.replace(0x2E, title.size(), title);
  image.replace(0xA9, seconds.size(), seconds);
  return image;
}

struct LengthCase {
  const char* name;
  std::string field;
  double seconds;
};

class Id666LengthTest : public ::testing::TestWithParam<LengthCase> {};

TEST_P(Id666LengthTest, ReadsTheLeadingDigitsElse180Seconds) {
  EXPECT_DOUBLE_EQ(ReadId666(Image(GetParam().field)).seconds, GetParam().seconds);
}

INSTANTIATE_TEST_SUITE_P(Fields, Id666LengthTest,
                         ::testing::Values(LengthCase{"ThreeDigits", "095", 95}, LengthCase{"TwoDigitsThenNul", "12", 12},
                                           LengthCase{"DigitsThenText", "3ab", 3},
                                           LengthCase{"BinaryNumber", std::string("\x5a\x00\x00", 3), 180},
                                           LengthCase{"Zero", "000", 180}, LengthCase{"Empty", "", 180}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Id666Test, TextsStopAtTheirFieldAndCp932BecomesUtf8) {
  std::string image = Image("060", std::string(32, 'T'));  // a full title without its zero byte
  image.replace(0x4E, 4, "\x83\x51\x81\x5b");                 // ゲー in CP932
  image.replace(0xB1, 9, "作曲者");
  image.resize(0xB1 + 9);  // a file that ends inside the artist field
  const Id666 tag = ReadId666(image);
  EXPECT_EQ(tag.title, std::string(32, 'T'));
  EXPECT_EQ(tag.game, "ゲー");
  EXPECT_EQ(tag.artist, "作曲者");
  EXPECT_EQ(ReadId666("").title, "");
}

}  // namespace
}  // namespace qorve::test
