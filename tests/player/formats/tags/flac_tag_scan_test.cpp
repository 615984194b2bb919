// The FLAC tag scan over raw bytes: which comments count, where values end,
// how long they may be and how they become UTF-8.
#include "player/formats/tags/flac_tag_scan.h"

#include <gtest/gtest.h>

#include <string>

namespace qorve {
namespace {

// One Vorbis comment entry: 32-bit little-endian length, then the text.
std::string Entry(const std::string& text) {
  const auto n = static_cast<uint32_t>(text.size());
  std::string bytes{static_cast<char>(n), static_cast<char>(n >> 8), static_cast<char>(n >> 16),
                    static_cast<char>(n >> 24)};
  return bytes + text;
}

struct ScanCase {
  const char* name;
  std::string head;
  std::string title;
  std::string artist;
  std::string album;
};

class FlacTagScanTest : public ::testing::TestWithParam<ScanCase> {};

TEST_P(FlacTagScanTest, FindsTheCommentsOfTheFirstKilobyte) {
  const FlacTags tags = ScanFlacTags(GetParam().head);
  EXPECT_EQ(tags.title, GetParam().title);
  EXPECT_EQ(tags.artist, GetParam().artist);
  EXPECT_EQ(tags.album, GetParam().album);
}

const std::string kHeader = std::string("fLaC\x80\0\0\x22", 8) + std::string(34, '\x11');

INSTANTIATE_TEST_SUITE_P(
    Cases, FlacTagScanTest,
    ::testing::Values(
        ScanCase{"EntriesEndByTheirLength", kHeader + Entry("TITLE=one") + Entry("ARTIST=two") + Entry("Album=three"),
                 "one", "two", "three"},
        ScanCase{"ValueStopsAtAZeroByte", kHeader + Entry(std::string("TITLE=ab\0cd", 11)), "ab", "", ""},
        ScanCase{"LaterEntryReplacesEarlier", kHeader + Entry("TITLE=first") + Entry("title=second"), "second", "",
                 ""},
        ScanCase{"ValueCutAt128BytesOnACharacter", kHeader + Entry("TITLE=" + std::string(130, 'x')),
                 std::string(128, 'x'), "", ""},
        ScanCase{"MultibyteValueNotSplit", kHeader + Entry("TITLE=a" + [] {
                   std::string s;
                   for (int i = 0; i < 50; ++i) s += "語";
                   return s;
                 }()),
                 "a" + [] {
                   std::string s;
                   for (int i = 0; i < 42; ++i) s += "語";
                   return s;
                 }(),
                 "", ""},
        ScanCase{"Cp932ValueBecomesUtf8", kHeader + Entry("ARTIST=\x93\xfa\x96\x7b"), "", "日本", ""},
        ScanCase{"ValueRunningPastTheKilobyteIsCutThere",
                 std::string(1024 - 12, ' ') + Entry("TITLE=abcdefgh"), "ab", "", ""},
        ScanCase{"NameSplitByTheKilobyteIsNotFound", std::string(1024 - 7, ' ') + Entry("TITLE=abc"), "", "", ""},
        ScanCase{"LookAlikeNamesDoNotCount",
                 kHeader + Entry("SUBTITLE=s") + Entry("ALBUMARTIST=v") + Entry("ARTISTS=x") + "TITLE=bare", "",
                 "", ""},
        ScanCase{"NothingInAnEmptyHead", "", "", "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qorve
