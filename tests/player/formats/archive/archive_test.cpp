#include "player/formats/archive/archive.h"

#include "common/log.h"
#include "common/settings.h"
#include "platform/system/folders.h"
#include "player/core/media_factory.h"
#include "player/core/player_state.h"
#include "player/formats/media_tools.h"
#include "support/shared_media.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace qorve {
namespace {

namespace fs = std::filesystem;
using test::HaveTool;
using test::Quote;
using test::ReadFile;
using test::RunQuietly;
using test::WriteFile;

class ArchiveTest : public test::TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    WriteFile(source() / "readme.txt", "read me\n");
    WriteFile(source() / "docs" / "guide.txt", std::string(3000, 'g'));
  }
  void TearDown() override {
    SetProgramFolderForTesting({});
    TempHome::TearDown();
  }
  fs::path source() const { return root() / "source"; }
  fs::path desktop() const { return root() / "home" / "Desktop"; }
  fs::path Made(const std::string& name, const std::string& command) {
    const fs::path archive = root() / "in" / name;
    fs::create_directories(archive.parent_path());
    EXPECT_TRUE(RunQuietly("cd " + Quote(source()) + " && A=" + Quote(archive) + "; (" + command + ")")) << command;
    return archive;
  }
  int Open(const fs::path& path, const std::string& extension, std::string* codec = nullptr) {
    ARCHIVE archive;
    const int result = archive.Open(path.string(), extension, nullptr);
    MediaInfo info;
    archive.GetInfo(info);
    EXPECT_EQ(info.Kind, kKindArchive);
    if (codec != nullptr) *codec = info.Codec;
    return result;
  }
  void ExpectUnpackedInto(const fs::path& folder) {
    EXPECT_EQ(ReadFile(folder / "readme.txt"), "read me\n");
    EXPECT_EQ(ReadFile(folder / "docs" / "guide.txt"), std::string(3000, 'g'));
  }
};

struct MadeCase {
  const char* name;
  const char* extension;
  const char* make;
  const char* title;
};

class ArchiveUnpackTest : public ArchiveTest, public ::testing::WithParamInterface<MadeCase> {};

TEST_P(ArchiveUnpackTest, UnpacksIntoAFolderNamedAfterTheArchiveOnTheDesktop) {
  const MadeCase& c = GetParam();
  const std::string tool = std::string(c.make).substr(0, std::string(c.make).find(' '));
  if (!HaveTool(tool)) GTEST_SKIP() << tool << " missing";
  EXPECT_EQ(Open(Made(c.name, c.make), c.extension), kResultNothingToPlay);
  ExpectUnpackedInto(desktop() / c.title);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, ArchiveUnpackTest,
    ::testing::Values(MadeCase{"songs.lzh", "LZH", "jlha co7q \"$A\" readme.txt docs/guide.txt", "songs"},
                      MadeCase{"songs.zip", "ZIP", "zip -qr \"$A\" readme.txt docs", "songs"},
                      MadeCase{"songs.tar", "TAR", "tar cf \"$A\" readme.txt docs", "songs"},
                      MadeCase{"songs.tar.gz", "GZ", "tar czf \"$A\" readme.txt docs", "songs.tar"},
                      MadeCase{"songs.tbz.bz2", "BZ2", "tar cjf \"$A\" readme.txt docs", "songs.tbz"},
                      MadeCase{"songs.cab", "CAB", "gcab -cz \"$A\" readme.txt docs/guide.txt", "songs"},
                      // A self-extracting ZIP: UNLHA32 refuses it, UNZIP32 unpacks it.
                      MadeCase{"setup.exe", "EXE",
                               "zip -qr z.zip readme.txt docs && (printf 'MZ'; head -c 5000 /dev/zero; cat z.zip) > \"$A\"",
                               "setup"}),
    [](const auto& info) { return std::string(info.param.extension); });

TEST_F(ArchiveTest, RarFromTheSharedMediaIsUnpacked) {
  const fs::path rar = test::SharedMedia() / "rar" / "la_rar5_multiple_files.rar";
  QORVE_NEED_SHARED_MEDIA_AT(rar);
  EXPECT_EQ(Open(rar, "RAR"), kResultNothingToPlay);
  EXPECT_TRUE(fs::exists(desktop() / "la_rar5_multiple_files" / "test1.bin"));
}

struct CodeCase {
  const char* what;
  const char* fileName;
  const char* content;
  const char* extension;
  bool withoutModules;
  int result;
};

class ArchiveCodeTest : public ArchiveTest, public ::testing::WithParamInterface<CodeCase> {};

TEST_P(ArchiveCodeTest, ReportsWhyNothingWasUnpacked) {
  const CodeCase& c = GetParam();
  if (c.withoutModules) {
    fs::create_directories(root() / "empty-program-folder");
    SetProgramFolderForTesting(root() / "empty-program-folder");
  }
  const fs::path file = root() / "in" / c.fileName;
  WriteFile(file, c.content);
  EXPECT_EQ(Open(file, c.extension), c.result);
  EXPECT_FALSE(fs::exists(desktop() / fs::path(c.fileName).stem()));
}

INSTANTIATE_TEST_SUITE_P(
    Codes, ArchiveCodeTest,
    ::testing::Values(CodeCase{"UnknownExtension", "a.ace", "**ACE**", "ACE", true, kResultUnsupported},
                      CodeCase{"MissingModule", "a.zip", "PK", "ZIP", true, kResultLibraryNotFound},
                      CodeCase{"GcaHasNoModule", "a.gca", "GCA0", "GCA", false, kResultLibraryNotFound},
                      CodeCase{"Yz1HasNoModule", "a.yz1", "yz01", "YZ1", false, kResultLibraryNotFound},
                      CodeCase{"BrokenZip", "a.zip", "PK\x03\x04 broken", "ZIP", false, kResultBrokenFile},
                      CodeCase{"BrokenLzh", "a.lzh", "not an lha archive", "LZH", false, kResultBrokenFile},
                      CodeCase{"ExeNoModuleAccepts", "tool.exe", "MZ plain program", "EXE", false,
                               kResultUnsupportedArchive},
                      CodeCase{"QuoteInPath", "a\"b.zip", "PK", "ZIP", false, kResultUnsupported}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(ArchiveTest, SplitFilePartMissingNamesItInCodec) {
  const fs::path control = root() / "in" / "x.rez";
  WriteFile(root() / "in" / "x.1", "1");
  WriteFile(control, std::string("REZ\0\2\0\0\0\0\0\5\0x.out\0\0\0\0\0\0\3\0x.1\0\0\0\0\0\0\3\0x.2", 4 + 8 + 5 + 11 + 11));
  std::string codec;
  EXPECT_EQ(Open(control, "REZ", &codec), kResultBrokenFile);
  EXPECT_EQ(codec, "x.2");
  EXPECT_FALSE(fs::exists(root() / "in" / "x.out"));  // a failed join writes no output
}

// 5 GiB of holes in a sparse tar of 10 KiB, plain and compressed: refused
// before anything is written.
TEST_F(ArchiveTest, BombsGiveBrokenFileAndLeaveNothingOnTheDesktop) {
  if (!HaveTool("tar") || !HaveTool("truncate")) GTEST_SKIP() << "GNU tar or truncate missing";
  ASSERT_TRUE(RunQuietly("truncate -s 5G " + Quote(source() / "big")));
  Made("bomb.tar", "tar --sparse -cf \"$A\" big");
  Made("zipped.tgz.gz", "tar --sparse -czf \"$A\" big");
  fs::remove(source() / "big");
  const int savedLog = ProgramSettings().kestravoxLog;
  ProgramSettings().kestravoxLog = 1;
  EXPECT_EQ(Open(root() / "in" / "bomb.tar", "TAR"), kResultBrokenFile);
  EXPECT_EQ(Open(root() / "in" / "zipped.tgz.gz", "GZ"), kResultBrokenFile);
  CloseLog();
  ProgramSettings().kestravoxLog = savedLog;
  EXPECT_FALSE(fs::exists(desktop() / "bomb"));
  EXPECT_FALSE(fs::exists(desktop() / "zipped.tgz"));
  const std::string log = ReadFile(settingsFolder() / "LOG.TXT");
  EXPECT_NE(log.find("\"書庫を展開できません TAR32.so: refused: unpacks to more than 4294967296 bytes\" , \"32772\""),
            std::string::npos)
      << log;
}

// Probing: what unpacking or joining would do, and nothing written.
class ArchiveProbeTest : public ArchiveTest {
 protected:
  void SetUp() override {
    ArchiveTest::SetUp();
    ARCHIVE::SetProbing(true);
  }
  void TearDown() override {
    ARCHIVE::SetProbing(false);
    ArchiveTest::TearDown();
  }
};

TEST_F(ArchiveProbeTest, ListsArchivesWithoutUnpacking) {
  if (!HaveTool("jlha")) GTEST_SKIP() << "jlha missing";
  struct Case {
    const char* name;
    const char* extension;
    const char* make;
    const char* format;
    uint64_t members;
  };
  for (const Case& c : {Case{"songs.zip", "ZIP", "zip -q \"$A\" readme.txt docs/guide.txt", "ZIP", 2},
                        Case{"songs.lzh", "LZH", "jlha co7q \"$A\" readme.txt docs/guide.txt", "LHA", 2},
                        Case{"songs.tar.gz", "GZ", "tar czf \"$A\" readme.txt docs", "TAR.GZ", 3},
                        Case{"setup.exe", "EXE",
                             "zip -q z.zip readme.txt docs/guide.txt && (printf MZ; head -c 5000 /dev/zero; cat z.zip) "
                             "> \"$A\" && rm z.zip",
                             "ZIP", 2}}) {
    ARCHIVE archive;
    EXPECT_EQ(archive.Open(Made(c.name, c.make).string(), c.extension, nullptr), kResultNothingToPlay) << c.name;
    MediaInfo info;
    archive.GetInfo(info);
    EXPECT_EQ(info.Kind, kKindArchive);
    EXPECT_STREQ(info.Format, c.format);
    EXPECT_EQ(archive.Probe().members, c.members) << c.name;
    EXPECT_EQ(archive.Probe().unpackedBytes, 8u + 3000u) << c.name;
  }
  EXPECT_FALSE(fs::exists(desktop()));
}

TEST_F(ArchiveProbeTest, BrokenOrOversizedArchivesGetTheCodesUnpackingWould) {
  WriteFile(root() / "in" / "a.zip", "PK\x03\x04 broken");
  EXPECT_EQ(Open(root() / "in" / "a.zip", "ZIP"), kResultBrokenFile);
  if (HaveTool("tar") && HaveTool("truncate")) {
    ASSERT_TRUE(RunQuietly("truncate -s 5G " + Quote(source() / "big")));
    Made("bomb.tar", "tar --sparse -cf \"$A\" big");
    fs::remove(source() / "big");
    EXPECT_EQ(Open(root() / "in" / "bomb.tar", "TAR"), kResultBrokenFile);
  }
  EXPECT_FALSE(fs::exists(desktop()));
}

TEST_F(ArchiveProbeTest, SplitFileNamesItsPartsAndJoinsNothing) {
  const fs::path control = root() / "in" / "x.rez";
  WriteFile(root() / "in" / "x.1", "12345");
  WriteFile(root() / "in" / "x.2", "678");
  WriteFile(root() / "in" / "x.out", "earlier output");
  WriteFile(control, std::string("REZ\0\2\0\0\0\0\0\5\0x.out\0\0\0\0\0\0\3\0x.1\0\0\0\0\0\0\3\0x.2", 4 + 8 + 5 + 11 + 11));
  ARCHIVE archive;
  EXPECT_EQ(archive.Open(control.string(), "REZ", nullptr), kResultNothingToPlay);
  EXPECT_EQ(archive.Probe().format, "REZ");
  EXPECT_EQ(archive.Probe().output, "x.out");
  EXPECT_EQ(archive.Probe().parts, (std::vector<std::string>{"x.1", "x.2"}));
  EXPECT_EQ(archive.Probe().unpackedBytes, 8u);
  fs::remove(root() / "in" / "x.2");
  std::string codec;
  EXPECT_EQ(Open(control, "REZ", &codec), kResultBrokenFile);
  EXPECT_EQ(codec, "x.2");
  EXPECT_EQ(ReadFile(root() / "in" / "x.out"), "earlier output");
  EXPECT_FALSE(fs::exists(root() / "in" / "x.out.BAK"));
}

TEST_F(ArchiveTest, FactoryHandsArchivesToArchiveAndReportsNothingToPlay) {
  std::string path = Made("album.zip", "zip -qr \"$A\" readme.txt docs").string();
  EXPECT_EQ(LoadMedia(nullptr, path, 0), kResultNothingToPlay);
  Player().media.reset();
  ExpectUnpackedInto(desktop() / "album");
}

}  // namespace
}  // namespace qorve
