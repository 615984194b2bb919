#include "player/formats/archive/rez_joiner.h"

#include "player/core/media_file.h"
#include "support/file_size_limit.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <map>
#include <ostream>
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

// Every entry under a folder: a file's content, a link's target.
std::map<std::string, std::string> Snapshot(const fs::path& folder) {
  std::map<std::string, std::string> entries;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    const std::string name = fs::relative(entry.path(), folder).string();
    if (entry.is_symlink()) {
      entries[name] = "-> " + fs::read_symlink(entry.path()).string();
    } else if (entry.is_regular_file()) {
      entries[name] = ReadFile(entry.path());
    } else {
      entries[name] = "(folder)";
    }
  }
  return entries;
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
  EXPECT_EQ(std::distance(fs::directory_iterator(folder()), fs::directory_iterator()), 5);  // nothing left over
}

TEST_F(RezJoinerTest, MissingPartNamesItAndLeavesTheOldOutputAndBackupWhole) {
  WriteParts({"a.001", "a.002"});
  WriteFile(control(), ControlFile("a.bin", {"a.001", "a.002", "a.003"}));
  WriteFile(folder() / "a.bin", "previous");
  WriteFile(folder() / "a.bin.BAK", "older");
  const auto before = Snapshot(folder());
  std::string missing;
  EXPECT_EQ(JoinSplitFile(control().string(), missing), kResultBrokenFile);
  EXPECT_EQ(missing, "a.003");
  EXPECT_EQ(Snapshot(folder()), before);  // no half-joined output, no temporary left behind
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

// Control files whose output, or the output's backup, is one of the files the
// join reads. Joining them would append the output to itself without end, or
// delete a part before reading it.
struct SelfReferenceCase {
  const char* what;
  const char* controlName;
  std::string control;
  void (*prepare)(const fs::path& folder);
};

void PrintTo(const SelfReferenceCase& c, std::ostream* out) { *out << c.what; }

class RezSelfReferenceTest : public RezJoinerTest, public ::testing::WithParamInterface<SelfReferenceCase> {
 protected:
  // A join feeding on its own output fails with EFBIG instead of filling the disk.
  test::FileSizeLimit limit_{1 << 20};
};

TEST_P(RezSelfReferenceTest, IsRefusedBeforeAnythingChanges) {
  WriteParts({"p1"});
  WriteFile(folder() / "out.dat", "previous;");
  WriteFile(folder() / "out.dat.BAK", "backup;");
  WriteFile(folder() / GetParam().controlName, GetParam().control);
  if (GetParam().prepare) GetParam().prepare(folder());
  const auto before = Snapshot(folder());
  std::string missing;
  // What a probe of the file reports, as the join does.
  RezPlan plan;
  EXPECT_EQ(PlanSplitFile((folder() / GetParam().controlName).string(), plan, missing), kResultBrokenFile);
  EXPECT_EQ(JoinSplitFile((folder() / GetParam().controlName).string(), missing), kResultBrokenFile);
  EXPECT_TRUE(missing.empty());
  EXPECT_EQ(Snapshot(folder()), before);
}

INSTANTIATE_TEST_SUITE_P(
    Controls, RezSelfReferenceTest,
    ::testing::Values(
        SelfReferenceCase{"OutputIsAPart", "movie.rez", ControlFile("out.dat", {"p1", "out.dat"}), nullptr},
        // Larger than one piece of copying: the copy would read what it has just written.
        SelfReferenceCase{"OutputIsALargePart", "movie.rez", ControlFile("out.dat", {"p1", "out.dat"}),
                          [](const fs::path& folder) { WriteFile(folder / "p1", std::string(200 * 1024, 'x')); }},
        SelfReferenceCase{"OutputNotYetThereIsAPart", "movie.rez", ControlFile("new.dat", {"p1", "new.dat"}), nullptr},
        SelfReferenceCase{"OutputIsAPartThroughDotSegments", "movie.rez",
                          ControlFile("out.dat", {"p1", "./sub/../out.dat"}), nullptr},
        SelfReferenceCase{"OutputIsAPartInAnotherCase", "movie.rez", ControlFile("OUT.DAT", {"p1", "out.dat"}),
                          nullptr},
        SelfReferenceCase{"BackupIsAPart", "movie.rez", ControlFile("out.dat", {"out.dat.BAK", "p1"}), nullptr},
        SelfReferenceCase{"OutputIsTheControlFile", "movie.rez", ControlFile("movie.rez", {"p1"}), nullptr},
        SelfReferenceCase{"BackupIsTheControlFile", "old.BAK", ControlFile("old", {"p1"}), nullptr},
        SelfReferenceCase{"PartLinksToTheOutput", "movie.rez", ControlFile("out.dat", {"p1", "link"}),
                          [](const fs::path& folder) { fs::create_symlink("out.dat", folder / "link"); }},
        SelfReferenceCase{"PartIsTheOutputThroughALinkedFolder", "movie.rez",
                          ControlFile("out.dat", {"p1", "here/out.dat"}),
                          [](const fs::path& folder) { fs::create_directory_symlink(".", folder / "here"); }},
        SelfReferenceCase{"PartIsAHardLinkOfTheOutput", "movie.rez", ControlFile("out.dat", {"p1", "same"}),
                          [](const fs::path& folder) { fs::create_hard_link(folder / "out.dat", folder / "same"); }}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(RezJoinerTest, PartThatIsNoRegularFileCountsAsMissing) {
  WriteParts({"p1"});
  fs::create_directories(folder() / "folder.002");
  WriteFile(control(), ControlFile("out.dat", {"p1", "folder.002"}));
  std::string missing;
  EXPECT_EQ(JoinSplitFile(control().string(), missing), kResultBrokenFile);
  EXPECT_EQ(missing, "folder.002");
  EXPECT_FALSE(fs::exists(folder() / "out.dat"));
}

TEST_F(RezJoinerTest, OutputThatIsAFolderIsNotMovedAside) {
  WriteParts({"p1"});
  WriteFile(folder() / "out.dat" / "inside", "kept");
  WriteFile(control(), ControlFile("out.dat", {"p1"}));
  std::string missing;
  EXPECT_EQ(JoinSplitFile(control().string(), missing), kResultUnknownError);
  EXPECT_EQ(ReadFile(folder() / "out.dat" / "inside"), "kept");
  EXPECT_FALSE(fs::exists(folder() / "out.dat.BAK"));
}

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
