#include "player/core/file_list.h"

#include "support/temp_home.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

namespace qorve {
namespace {

namespace fs = std::filesystem;
using Entries = std::vector<std::string>;

struct PlaylistCase {
  const char* name;
  std::string bytes;
  Entries expected;
};

class ParsePlaylistLines : public ::testing::TestWithParam<PlaylistCase> {};

TEST_P(ParsePlaylistLines, GivesOneEntryPerNonEmptyLine) {
  EXPECT_EQ(ParsePlaylist(GetParam().bytes), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Playlists, ParsePlaylistLines,
    ::testing::Values(
        PlaylistCase{"CrLf", "a.mp3\r\nb.ogg\r\n", {"a.mp3", "b.ogg"}},
        PlaylistCase{"Lf", "/m/a.mp3\n/m/b.mp3\n", {"/m/a.mp3", "/m/b.mp3"}},
        PlaylistCase{"NoFinalLineBreak", "a.mp3\nb.mp3", {"a.mp3", "b.mp3"}},
        PlaylistCase{"BlankLinesSkipped", "\r\na.mp3\r\n\r\n\n\r\nb.mp3\r\n\r\n", {"a.mp3", "b.mp3"}},
        PlaylistCase{"LeadingCrKept", "\rb.mp3\n", {"\rb.mp3"}},
        PlaylistCase{"LeadingAndInnerBlanksKept", "  a b.mp3\t\r\n", {"  a b.mp3\t"}},
        PlaylistCase{"TrailingCrAndNulRemoved", std::string("a.mp3\r\r\n", 8) + std::string("b.mp3\0\0\n", 8),
                     {"a.mp3", "b.mp3"}},
        PlaylistCase{"NulEndsTheLine", std::string("a.mp3\0junk\nb.mp3", 16), {"a.mp3", "b.mp3"}},
        PlaylistCase{"OnlyNulLineSkipped", std::string("\0\0\r\na.mp3", 9), {"a.mp3"}},
        PlaylistCase{"ShiftJisLineDecoded", "\x83\x5e\x83\x43\x83\x67\x83\x8b.mp3\r\n", {"タイトル.mp3"}},
        PlaylistCase{"Utf8LineKept", "曲.flac\n", {"曲.flac"}},
        PlaylistCase{"Empty", "", {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ParsePlaylist, LongLineStaysOneWholeEntry) {
  const std::string longPath = "/music/" + std::string(300, 'x') + ".mp3";
  EXPECT_EQ(ParsePlaylist(longPath + "\r\nshort.mp3\r\n"), (Entries{longPath, "short.mp3"}));
}

class FileListFolder : public test::TempHome {
 protected:
  fs::path Folder() const { return root() / "music"; }
  void Touch(const std::string& name) { test::WriteFile(Folder() / name, "x"); }
  static Entries Names(const FileList& list) {
    Entries names;
    for (const auto& entry : list.entries) names.push_back(fs::path(entry).filename().string());
    return names;
  }
};

TEST_F(FileListFolder, LoadPlaylistKeepsEntriesAsWritten) {
  test::WriteFile(root() / "list.LST", "rel.mp3\r\n\r\n/abs/b.ogg\r\n");
  FileList list;
  ASSERT_TRUE(LoadPlaylist(list, (root() / "list.LST").string()));
  EXPECT_EQ(list.entries, (Entries{"rel.mp3", "/abs/b.ogg"}));
}

TEST_F(FileListFolder, LoadPlaylistRefusesMissingFilesAndFolders) {
  FileList list;
  list.entries = {"kept.mp3"};
  EXPECT_FALSE(LoadPlaylist(list, (root() / "missing.LST").string()));
  fs::create_directories(root() / "folder.LST");
  EXPECT_FALSE(LoadPlaylist(list, (root() / "folder.LST").string()));
  ASSERT_EQ(mkfifo((root() / "pipe.LST").c_str(), 0600), 0);
  EXPECT_FALSE(LoadPlaylist(list, (root() / "pipe.LST").string()));
  EXPECT_EQ(list.entries, Entries{"kept.mp3"});
}

TEST_F(FileListFolder, ScanListsFilesSortedWithoutFoldersOrSpecialFiles) {
  for (const char* name : {"b.mp3", "a.mp3", "C.ogg", ".hidden.wav", "A.mp3"}) Touch(name);
  fs::create_directories(Folder() / "sub");
  fs::create_symlink(Folder() / "b.mp3", Folder() / "link.mp3");
  fs::create_directory_symlink(Folder() / "sub", Folder() / "linkdir");
  fs::create_symlink(Folder() / "gone.mp3", Folder() / "dangling.mp3");
  ASSERT_EQ(mkfifo((Folder() / "fifo.mp3").c_str(), 0600), 0);

  FileList list;
  list.source = kListFolder;
  list.firstArgument = Folder().string();
  ScanFolder(list, false);
  EXPECT_EQ(Names(list), (Entries{".hidden.wav", "A.mp3", "a.mp3", "b.mp3", "C.ogg", "link.mp3"}));
  EXPECT_EQ(list.entries[0], (Folder() / ".hidden.wav").string());
}

struct StartCase {
  const char* name;
  int source;
  const char* argument;  // relative to the music folder
  int expectedIndex;
};

class ScanFolderStart : public FileListFolder, public ::testing::WithParamInterface<StartCase> {};

TEST_P(ScanFolderStart, ListsTheStartFolderAndFindsTheStartFile) {
  for (const char* name : {"A.mp3", "a.mp3", "b.mp3"}) Touch(name);
  FileList list;
  list.source = GetParam().source;
  list.index = 7;
  list.firstArgument = (Folder() / GetParam().argument).string();
  ScanFolder(list, true);
  EXPECT_EQ(Names(list), (Entries{"A.mp3", "a.mp3", "b.mp3"}));
  EXPECT_EQ(list.index, GetParam().expectedIndex);
}

INSTANTIATE_TEST_SUITE_P(
    Starts, ScanFolderStart,
    ::testing::Values(StartCase{"ExactNamePreferred", kListNone, "a.mp3", 1},
                      StartCase{"CaseIgnored", kListNone, "B.MP3", 2},
                      StartCase{"NoMatchKeepsIndex", kListNone, "other.mp3", 7},
                      StartCase{"FolderSourceListsTheFolderItself", kListFolder, ".", 7},
                      StartCase{"FolderSourceOnAFileListsItsFolder", kListFolder, "b.mp3", 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FileListFolder, ScanDoesNothingForPlaylistsOrWithoutStartArgument) {
  Touch("a.mp3");
  FileList list;
  list.entries = {"from-playlist.mp3"};
  list.source = kListPlaylist;
  list.firstArgument = (Folder() / "a.mp3").string();
  ScanFolder(list, true);
  EXPECT_EQ(list.entries, Entries{"from-playlist.mp3"});

  list.source = kListNone;
  list.firstArgument.clear();
  ScanFolder(list, true);
  EXPECT_EQ(list.entries, Entries{"from-playlist.mp3"});
}

TEST_F(FileListFolder, ScanOfAMissingFolderGivesAnEmptyList) {
  FileList list;
  list.entries = {"old.mp3"};
  list.firstArgument = (root() / "nowhere" / "a.mp3").string();
  ScanFolder(list, false);
  EXPECT_TRUE(list.entries.empty());
}

}  // namespace
}  // namespace qorve
