#include "platform/system/profile.h"

#include "support/file_size_limit.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <iterator>

namespace qorve {
namespace {

using test::ReadFile;
using test::WriteFile;

TEST(ProfileDocumentTest, FindsKeysIgnoringCaseAndBlanks) {
  const auto document = ProfileDocument::Parse(
      "; settings\r\n[WinSet]\r\n  Mode = 2 \r\nx=5\r\n[FONTSET]\r\nFONTFACE=\"MS Gothic\"\r\nmode=9\r\n");
  EXPECT_EQ(document.Find("WINSET", "MODE"), "2");
  EXPECT_EQ(document.Find("winset", "X"), "5");
  EXPECT_EQ(document.Find("FONTSET", "fontface"), "MS Gothic");
  EXPECT_EQ(document.Find("FONTSET", "MODE"), "9");
  EXPECT_FALSE(document.Find("WINSET", "FONTFACE"));
  EXPECT_FALSE(document.Find("NONE", "MODE"));
  EXPECT_TRUE(document.HasSection("fontset"));
  EXPECT_FALSE(document.HasSection("settings"));
}

TEST(ProfileDocumentTest, FirstOfDuplicateKeysAndSectionsWins) {
  const auto document = ProfileDocument::Parse("[A]\nk=1\nk=2\n[A]\nk=3\nj=4\n");
  EXPECT_EQ(document.Find("A", "k"), "1");
  EXPECT_FALSE(document.Find("A", "j"));
}

TEST(ProfileDocumentTest, LinesThatMeanNothingAreIgnoredAndKept) {
  std::string text = "garbage\n[A\nk=1\n[A]\n\xff\xfe\x01=x\n;k=2\nk=3\n= lone\n";
  text += std::string("\0\0\n", 3);
  text += "tail";
  auto document = ProfileDocument::Parse(text);
  EXPECT_EQ(document.Find("A", "k"), "3");
  EXPECT_EQ(document.Serialize(), text);
  ASSERT_TRUE(document.Set("A", "k", "7"));
  const std::string saved = document.Serialize();
  EXPECT_NE(saved.find("garbage\n[A\nk=1\n[A]\n\xff\xfe\x01=x\n;k=2\nk=7\n"), std::string::npos);
  EXPECT_EQ(ProfileDocument::Parse(saved).Find("A", "k"), "7");
}

TEST(ProfileDocumentTest, SetReplacesInPlaceAndKeepsEverythingElse) {
  const std::string text = "; comment\r\n[KESTRAVOX]\r\nLog=1\r\nMIXPLAY=1  ; trailing\r\n\r\n[WINSET]\r\nMODE=0\r\n";
  auto document = ProfileDocument::Parse(text);
  ASSERT_TRUE(document.Set("kestravox", "LOG", "0"));
  EXPECT_EQ(document.Serialize(),
            "; comment\r\n[KESTRAVOX]\r\nLog=0\r\nMIXPLAY=1  ; trailing\r\n\r\n[WINSET]\r\nMODE=0\r\n");
}

TEST(ProfileDocumentTest, SetAddsKeyAtEndOfItsSectionAndNewSectionsAtTheEnd) {
  auto document = ProfileDocument::Parse("[A]\nx=1\n\n[B]\ny=2");
  ASSERT_TRUE(document.Set("A", "z", "3"));
  ASSERT_TRUE(document.Set("C", "w", "-1"));
  ASSERT_TRUE(document.Set("B", "v", ""));
  EXPECT_EQ(document.Serialize(), "[A]\nx=1\nz=3\n\n[B]\ny=2\nv=\n\n[C]\nw=-1\n");
}

TEST(ProfileDocumentTest, SetRefusesNamesThatCouldNotBeReadBack) {
  auto document = ProfileDocument::Parse("");
  EXPECT_FALSE(document.Set("A", "", "1"));
  EXPECT_FALSE(document.Set("A", "k=j", "1"));
  EXPECT_FALSE(document.Set("A]", "k", "1"));
  EXPECT_FALSE(document.Set("A", "k", "1\n[B]"));
  EXPECT_FALSE(document.Set("", "k", "1"));
  EXPECT_EQ(document.Serialize(), "");
}

TEST(ProfileDocumentTest, Utf16FilesAreReadAndWrittenAsUtf16) {
  const std::string utf16 = std::string("\xFF\xFE", 2) +
                            std::string("[\0A\0]\0\r\0\n\0k\0=\0\x42\x30\r\0\n\0", 20);  // k=あ
  auto document = ProfileDocument::Parse(utf16);
  EXPECT_EQ(document.Find("A", "K"), "あ");
  EXPECT_EQ(document.Serialize(), utf16);
  ASSERT_TRUE(document.Set("A", "j", "1"));
  EXPECT_EQ(ProfileDocument::Parse(document.Serialize()).Find("A", "j"), "1");
  EXPECT_EQ(document.Serialize().substr(0, 2), "\xFF\xFE");
}

TEST(ProfileDocumentTest, Utf8ByteOrderMarkIsSkippedAndKept) {
  auto document = ProfileDocument::Parse("\xEF\xBB\xBF[A]\nk=1\n");
  EXPECT_EQ(document.Find("A", "k"), "1");
  document.Set("A", "k", "2");
  EXPECT_EQ(document.Serialize(), "\xEF\xBB\xBF[A]\nk=2\n");
}

TEST(ParseProfileIntTest, ReadsTheLeadingInteger) {
  const std::pair<const char*, int> cases[] = {
      {"12", 12},       {"  -1", -1},  {"+7", 7},         {"42abc", 42},       {"abc", 0},
      {"0x20000", 0x20000}, {"0XfF", 255}, {"-", 0},     {"4294967295", -1},  {"1 2", 1},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(ParseProfileInt(text), expected) << text;
}

class ProfileFileTest : public test::TempHome {};

TEST_F(ProfileFileTest, MissingFileGivesDefaultsAndWriteCreatesFolderAndFile) {
  const auto file = root() / "new" / "folder" / "user.INI";
  EXPECT_EQ(GetPrivateProfileInt("A", "k", 17, file), 17);
  EXPECT_EQ(GetPrivateProfileString("A", "s", "dflt", 32, file), "dflt");
  ASSERT_TRUE(WritePrivateProfileString("A", "k", "5", file));
  EXPECT_EQ(ReadFile(file), "[A]\nk=5\n");
  EXPECT_EQ(GetPrivateProfileInt("a", "K", 17, file), 5);
}

TEST_F(ProfileFileTest, EmptyValueGivesTheDefaultNumberButAnEmptyString) {
  const auto file = root() / "p.ini";
  WriteFile(file, "[A]\nk=\n");
  EXPECT_EQ(GetPrivateProfileInt("A", "k", 9, file), 9);
  EXPECT_EQ(GetPrivateProfileString("A", "k", "dflt", 32, file), "");
}

TEST_F(ProfileFileTest, StringsAreCutAtCharacterBoundaryAndShiftJisIsDecoded) {
  const auto file = root() / "p.ini";
  WriteFile(file, "[FONTSET]\nFONTFACE=\x82\x6c\x82\x72 \x83\x53\x83\x56\x83\x62\x83\x4e\n");  // ＭＳ ゴシック
  EXPECT_EQ(GetPrivateProfileString("FONTSET", "FONTFACE", "", 32, file), "ＭＳ ゴシック");
  EXPECT_EQ(GetPrivateProfileString("FONTSET", "FONTFACE", "", 6, file), "Ｍ");
  EXPECT_EQ(GetPrivateProfileString("FONTSET", "FONTFACE", "", 1, file), "");
}

TEST_F(ProfileFileTest, WriteKeepsTheFilesLineBreaksAndPermissionsAndFollowsLinks) {
  const auto real = root() / "real.ini";
  const auto link = root() / "link.ini";
  WriteFile(real, "[A]\r\nk=1\r\n");
  std::filesystem::permissions(real, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  std::filesystem::create_symlink(real, link);
  ASSERT_TRUE(WritePrivateProfileString("B", "j", "2", link));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ReadFile(real), "[A]\r\nk=1\r\n\r\n[B]\r\nj=2\r\n");
  EXPECT_EQ(std::filesystem::status(real).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

// The write of the new content fails part way (the file-size limit stands in
// for a full disk, and holds for root as well): the old file stays as it was
// and no temporary file is left beside it.
TEST_F(ProfileFileTest, FailedWriteLeavesTheOldFileWhole) {
  const auto folder = root() / "data";
  const auto file = folder / "p.ini";
  WriteFile(file, "[A]\nk=1\n");
  bool written = true;
  {
    const test::FileSizeLimit limit(512);
    written = WritePrivateProfileString("A", "k", std::string(4096, 'x'), file);
  }
  EXPECT_FALSE(written);
  EXPECT_EQ(ReadFile(file), "[A]\nk=1\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()), 1);
}

TEST_F(ProfileFileTest, UnwritableFolderLeavesTheOldFileWhole) {
  const auto folder = root() / "locked";
  const auto file = folder / "p.ini";
  WriteFile(file, "[A]\nk=1\n");
  std::filesystem::permissions(folder, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  if (access(folder.c_str(), W_OK) == 0) GTEST_SKIP() << "running with rights that ignore folder permissions";
  EXPECT_FALSE(WritePrivateProfileString("A", "k", "2", file));
  EXPECT_EQ(ReadFile(file), "[A]\nk=1\n");
}

}  // namespace
}  // namespace qorve
