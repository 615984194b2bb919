// The MIO tag scan: 8-bit key lines in any case with their cuts, the UTF-16LE
// description that MIO writers store, and nothing after the first sound chunk.
#include "player/formats/tags/mio_tag_scan.h"

#include "platform/system/text.h"

#include <gtest/gtest.h>

namespace qorve::test {
namespace {

std::string Utf16Description(const std::string& text) { return "descript" + std::string("\x20\0\0\0\0\0\0\0", 8) + "\xFF\xFE" + Utf8ToUtf16Le(text); }

struct TagCase {
  const char* name;
  std::string bytes;
  MioTags expected;
};

class MioTagScanTest : public ::testing::TestWithParam<TagCase> {};

TEST_P(MioTagScanTest, FindsTheTags) {
  const TagCase& c = GetParam();
  std::string bytes = c.bytes;
  // A description length that covers the record (the scan trusts it up to the end).
  if (const std::size_t at = bytes.find("descript"); at != std::string::npos) {
    const std::size_t length = bytes.size() - at - 16;
    for (int i = 0; i < 8; ++i) bytes[at + 8 + static_cast<std::size_t>(i)] = static_cast<char>(i < 4 ? length >> (8 * i) : 0);
  }
  const MioTags tags = ScanMioTags(bytes);
  EXPECT_EQ(tags.title, c.expected.title);
  EXPECT_EQ(tags.artist, c.expected.artist);
  EXPECT_EQ(tags.album, c.expected.album);
  EXPECT_EQ(tags.genre, c.expected.genre);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MioTagScanTest,
    ::testing::Values(
        TagCase{"EightBitKeyLines",
                "junk#TITLE\r\nSong\r\n#VOCAL-PLAYER\r\nSinger\r\n#SOURCE\r\nGame\r\n#genre\r\nBGM\r\n",
                {"Song", "Singer", "Game", "BGM"}},
        TagCase{"ShiftJisValue", "#TITLE\r\n\x89\xCC\r\n", {"歌", "", "", ""}},
        TagCase{"LongValueKeepsSixtyTwoBytes", "#TITLE\r\n" + std::string(70, 'x') + "\r\n", {std::string(62, 'x'), "", "", ""}},
        TagCase{"UnknownKeyIsSkipped", "#COMPOSER\r\nSomeone\r\n#TITLE\r\nT\r\n", {"T", "", "", ""}},
        TagCase{"NothingAfterTheSoundStream", "#TITLE\r\nA\r\nSoundStm#VOCAL-PLAYER\r\nB\r\n", {"A", "", "", ""}},
        TagCase{"Utf16Description",
                Utf16Description("#title\r\nテスト曲\r\n#vocal-player\r\n歌手\r\n#source\r\nゲーム\r\n#rewind-point\r\n0\r\n"),
                {"テスト曲", "歌手", "ゲーム", ""}},
        TagCase{"Utf16ValueCutToSixtyTwoCharacters", Utf16Description("#title\r\n" + std::string(70, 'y') + "\r\n"),
                {std::string(62, 'y'), "", "", ""}},
        TagCase{"Utf16PlainComment", Utf16Description("just a comment"), {"", "", "", ""}},
        TagCase{"Utf16AfterTheSoundStream", "SoundStm" + Utf16Description("#title\r\nLate\r\n"), {"", "", "", ""}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qorve::test
