#include "player/formats/rez_joiner.h"

#include "player/core/media_file.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

namespace qorve {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::WriteFile;

std::string ControlFile(const std::string& output, const std::vector<std::string>& parts,
                        const std::string& magic = std::string("REZ\0", 4)) {
  std::string bytes = magic;
  bytes += static_cast<char>(parts.size());
  bytes += std::string(5, '\x11');
  bytes += static_cast<char>(output.size());
  bytes += '\x22';
  bytes += output;
  for (const std::string& part : parts) {
    bytes += std::string(6, '\x33');
    bytes += static_cast<char>(part.size());
    bytes += '\x44';
    bytes += part;
  }
  return bytes;
}

class RezJoinerTest : public test::TempHome {
 protected:
  fs::path folder() const { return root() / "split"; }
  fs::path control() const { return folder() / "movie.rez"; }
  void WriteParts(const std::vector<std::string>& names) {
    for (std::size_t i = 0; i < names.size(); ++i) WriteFile(folder() / names[i], "part" + std::to_string(i + 1) + ";");
  }
};

TEST_F(RezJoinerTest, JoinsThePartsInOrder) {
  WriteParts({"movie.r01", "movie.r02", "movie.r03"});
  WriteFile(control(), ControlFile("movie.mpg", {"movie.r01", "movie.r02", "movie.r03"}));
  std::string missing;
  EXPECT_EQ(JoinSplitFile(control().string(), missing), kResultNothingToPlay);
  EXPECT_EQ(ReadFile(folder() / "movie.mpg"), "part1;part2;part3;");
  EXPECT_TRUE(missing.empty());
}

TEST_F(RezJoinerTest, MissingThirdPartLeavesTheFirstTwoJoinedAndNamesIt) {
  WriteParts({"a.001", "a.002"});
  WriteFile(control(), ControlFile("a.bin", {"a.001", "a.002", "a.003"}));
  std::string missing;
  EXPECT_EQ(JoinSplitFile(control().string(), missing), kResultBrokenFile);
  EXPECT_EQ(missing, "a.003");
  EXPECT_EQ(ReadFile(folder() / "a.bin"), "part1;part2;");
}

TEST_F(RezJoinerTest, JoiningTwiceKeepsTheFirstResultAsBackup) {
  WriteParts({"p1", "p2"});
  WriteFile(control(), ControlFile("out.dat", {"p1", "p2"}));
  std::string missing;
  ASSERT_EQ(JoinSplitFile(control().string(), missing), kResultNothingToPlay);
  WriteFile(folder() / "p2", "changed;");
  WriteFile(folder() / "out.dat.BAK", "an older backup");
  ASSERT_EQ(JoinSplitFile(control().string(), missing), kResultNothingToPlay);
  EXPECT_EQ(ReadFile(folder() / "out.dat.BAK"), "part1;part2;");
  EXPECT_EQ(ReadFile(folder() / "out.dat"), "part1;changed;");
}

TEST_F(RezJoinerTest, ShiftJisNamesAreFilesWithUtf8Names) {
  WriteFile(folder() / "分割.001", "one;");
  WriteFile(control(), ControlFile("\x8c\x8b\x8d\x87.txt", {"\x95\xaa\x8a\x84.001"}));  // 結合.txt, 分割.001
  std::string missing;
  EXPECT_EQ(JoinSplitFile(control().string(), missing), kResultNothingToPlay);
  EXPECT_EQ(ReadFile(folder() / "結合.txt"), "one;");
}

struct RefusedCase {
  const char* what;
  std::string control;
  int result;
};

class RezRefusedTest : public RezJoinerTest, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(RezRefusedTest, NothingOnDiskChanges) {
  WriteParts({"p1"});
  WriteFile(root() / "outside", "outside;");
  WriteFile(folder() / "out.dat", "previous");
  WriteFile(control(), GetParam().control);
  std::string missing;
  EXPECT_EQ(JoinSplitFile(control().string(), missing), GetParam().result);
  EXPECT_EQ(ReadFile(folder() / "out.dat"), "previous");
  EXPECT_FALSE(fs::exists(folder() / "out.dat.BAK"));
  EXPECT_EQ(ReadFile(root() / "outside"), "outside;");
  EXPECT_EQ(std::distance(fs::directory_iterator(folder()), fs::directory_iterator()), 3);
}

INSTANTIATE_TEST_SUITE_P(
    HostileOrBroken, RezRefusedTest,
    ::testing::Values(
        RefusedCase{"NotRez", ControlFile("out.dat", {"p1"}, std::string("REZ!", 4)), kResultUnsupported},
        RefusedCase{"PartOutside", ControlFile("out.dat", {"p1", "../outside"}), kResultBrokenFile},
        RefusedCase{"PartAbsolute", ControlFile("out.dat", {"/etc/hostname"}), kResultBrokenFile},
        RefusedCase{"PartBackslashes", ControlFile("out.dat", {"sub\\..\\..\\outside"}), kResultBrokenFile},
        RefusedCase{"OutputOutside", ControlFile("../outside", {"p1"}), kResultBrokenFile},
        RefusedCase{"OutputEmpty", ControlFile("", {"p1"}), kResultBrokenFile},
        RefusedCase{"CutShort", ControlFile("out.dat", {"p1", "p1"}).substr(0, 30), kResultBrokenFile}),
    [](const auto& info) { return std::string(info.param.what); });

TEST(ParseRezControlTest, MagicIsTextComparedWithoutCase) {
  RezControl rez;
  EXPECT_EQ(ParseRezControl(ControlFile("o", {"a", "b"}, std::string("rEz\0", 4)), rez), RezParse::kOk);
  EXPECT_EQ(rez.outputName, "o");
  EXPECT_EQ(rez.partNames, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(ParseRezControl(std::string("REZ", 3), rez), RezParse::kNotRez);
  EXPECT_EQ(ParseRezControl(std::string("REZ\0", 4), rez), RezParse::kTruncated);
}

}  // namespace
}  // namespace qorve
