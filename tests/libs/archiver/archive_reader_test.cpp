// The listing, the bounds and the link rule of the extraction code, driven
// directly with limits small enough to reach.
#include "libs/archiver/archive_reader.h"
#include "libs/archiver/destination_folder.h"

#include "player/formats/media_tools.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <string>

namespace qorve::archiver {
namespace {

namespace fs = std::filesystem;
using test::Quote;
using test::ReadFile;
using test::RunQuietly;
using test::WriteFile;

std::string TestName(std::string text) {
  for (char& ch : text) ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
  return text;
}

class ArchiveReaderTest : public test::TempHome {
 protected:
  fs::path source() const { return root() / "source"; }
  fs::path destination() const { return root() / "desktop" / "title"; }
  // Runs `command` in the source folder with $A naming the archive made.
  fs::path Made(const std::string& name, const std::string& command) {
    const fs::path archive = root() / name;
    fs::create_directories(source());
    EXPECT_TRUE(RunQuietly("cd " + Quote(source()) + " && A=" + Quote(archive) + "; (" + command + ")")) << command;
    return archive;
  }
  void MakeTwoFiles() {
    WriteFile(source() / "a.txt", std::string(600, 'a'));
    WriteFile(source() / "sub" / "b.txt", std::string(600, 'b'));
  }
};

struct ListingCase {
  const char* name;
  ArchiveFamily family;
  const char* make;
  const char* format;
  uint64_t members;
  uint64_t bytes;
};

class ListArchiveTest : public ArchiveReaderTest, public ::testing::WithParamInterface<ListingCase> {};

TEST_P(ListArchiveTest, GivesFormatMembersAndUnpackedSize) {
  const ListingCase& c = GetParam();
  const std::string tool = std::string(c.make).substr(0, std::string(c.make).find(' '));
  if (!test::HaveTool(tool)) GTEST_SKIP() << tool << " missing";
  MakeTwoFiles();
  const ArchiveListing listing = ListArchive(c.family, Made(c.name, c.make).string(), ListingDepth::Sizes);
  EXPECT_TRUE(listing.opened);
  EXPECT_TRUE(listing.complete) << listing.problem;
  EXPECT_FALSE(listing.overLimit);
  EXPECT_EQ(listing.format, c.format);
  EXPECT_EQ(listing.members, c.members);
  EXPECT_EQ(listing.bytes, c.bytes);
  EXPECT_FALSE(fs::exists(destination()));
}

INSTANTIATE_TEST_SUITE_P(
    Formats, ListArchiveTest,
    ::testing::Values(ListingCase{"a.zip", ArchiveFamily::Zip, "zip -q \"$A\" a.txt sub/b.txt", "ZIP", 2, 1200},
                      ListingCase{"a.lzh", ArchiveFamily::Lha, "jlha co5q \"$A\" a.txt sub/b.txt", "LHA", 2, 1200},
                      ListingCase{"a.tar.bz2", ArchiveFamily::Tar, "tar cjf \"$A\" a.txt sub", "TAR.BZ2", 3, 1200},
                      // A single compressed file: its size is in no header and is counted by decoding.
                      ListingCase{"a.gz", ArchiveFamily::Tar, "gzip -c a.txt > \"$A\"", "GZ", 1, 600}),
    [](const auto& info) { return TestName(info.param.name); });

struct LimitCase {
  const char* name;
  const char* make;
  ArchiveLimits limits;
  const char* reason;      // a piece of the reason given
  const char* keptMember;  // a member written before the limit was seen, or null: nothing written
};

class ExtractLimitsTest : public ArchiveReaderTest, public ::testing::WithParamInterface<LimitCase> {};

TEST_P(ExtractLimitsTest, StopsAtTheLimitsAndSaysWhy) {
  const LimitCase& c = GetParam();
  MakeTwoFiles();
  WriteFile(source() / "letters", std::string(5000, 'z'));
  ExtractRequest request;
  request.archive = Made(c.name, c.make).string();
  request.destination = destination().string();
  request.limits = c.limits;
  const ExtractReport report = ExtractArchive(ArchiveFamily::Tar, request);
  EXPECT_TRUE(report.archiveOpened);
  EXPECT_TRUE(report.overLimit);
  EXPECT_NE(report.firstProblem.find(c.reason), std::string::npos) << report.firstProblem;
  if (c.keptMember == nullptr) {
    EXPECT_FALSE(fs::exists(destination())) << "something was written";
  } else {
    EXPECT_TRUE(fs::exists(destination() / c.keptMember));
    EXPECT_EQ(std::distance(fs::recursive_directory_iterator(destination()), fs::recursive_directory_iterator()), 1);
  }
}

constexpr ArchiveLimits kThreeMembers{kMaxUnpackedBytes, 3, 0};
constexpr ArchiveLimits kOneMember{kMaxUnpackedBytes, 1, 0};
constexpr ArchiveLimits kThousandBytes{1000, kMaxMembers, 0};
// A margin as large as any disk: no room at all.
constexpr ArchiveLimits kNoFreeSpace{kMaxUnpackedBytes, kMaxMembers, UINT64_MAX / 2};

INSTANTIATE_TEST_SUITE_P(
    Bounds, ExtractLimitsTest,
    ::testing::Values(
        // Plain tar: every header is read before anything is written.
        LimitCase{"members.tar", "tar cf \"$A\" a.txt sub letters", kThreeMembers, "more than 3 members", nullptr},
        LimitCase{"bytes.tar", "tar cf \"$A\" a.txt sub", kThousandBytes, "more than 1000 bytes", nullptr},
        LimitCase{"nospace.tar", "tar cf \"$A\" a.txt", kNoFreeSpace, "free space", nullptr},
        // A compressed stream is bounded while it is unpacked: the member that
        // would pass the limit is not begun.
        LimitCase{"bytes.tar.gz", "tar czf \"$A\" a.txt sub/b.txt", kThousandBytes, "more than 1000 bytes", "a.txt"},
        LimitCase{"members.tar.gz", "tar czf \"$A\" a.txt letters", kOneMember, "more than 1 members", "a.txt"},
        // A single compressed file has no size to go by: it is cut off while
        // decoding and its part removed.
        LimitCase{"letters.gz", "gzip -c letters > \"$A\"", kThousandBytes, "more than 1000 bytes", nullptr}),
    [](const auto& info) { return TestName(info.param.name); });

struct TargetCase {
  const char* link;    // where the link would be made ("/"-separated)
  const char* target;  // its text
  bool inside;
};

class LinkTargetTest : public ArchiveReaderTest, public ::testing::WithParamInterface<TargetCase> {};

// On disk: folder "real" with a file, and "real/up" a link to the destination
// itself (allowed: it stays inside) through which ".." would climb out.
TEST_P(LinkTargetTest, JudgesTheTargetAgainstWhatIsOnDisk) {
  WriteFile(destination() / "real" / "file", "x");
  fs::create_directory_symlink("..", destination() / "real" / "up");
  DestinationFolder folder(destination().string());
  std::vector<std::string> components;
  for (const auto& part : fs::path(GetParam().link)) components.push_back(part.string());
  EXPECT_EQ(folder.TargetStaysInside(components, GetParam().target), GetParam().inside)
      << GetParam().link << " -> " << GetParam().target;
}

INSTANTIATE_TEST_SUITE_P(
    Targets, LinkTargetTest,
    ::testing::Values(TargetCase{"l", "real/file", true}, TargetCase{"l", "real/up", true},
                      TargetCase{"l", "real/..", true}, TargetCase{"real/l", "../real/file", true},
                      TargetCase{"new/deeper/l", "../../real/file", true}, TargetCase{"l", "missing", true},
                      TargetCase{"l", "real/up/file", false}, TargetCase{"l", "real/up/..", false},
                      TargetCase{"l", "real/../..", false}, TargetCase{"real/l", "../../x", false},
                      TargetCase{"l", "missing/../real", false}, TargetCase{"l", "/etc/passwd", false},
                      TargetCase{"l", "", false}));

}  // namespace
}  // namespace qorve::archiver
