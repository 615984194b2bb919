#include "player/core/media_factory.h"

#include "common/log.h"
#include "common/settings.h"
#include "player/core/player_state.h"
#include "player/core/string_table.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace qorve {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

// What a fake class does in Open.
struct Behaviour {
  int result = kResultUnsupported;
  std::string detail;
};

struct Attempt {
  std::string className;
  std::string path;
  std::string extension;
};

std::map<std::string, Behaviour> behaviours;
std::vector<Attempt> attempts;
int liveFakes = 0;

class FakeMedia : public MediaFile {
 public:
  explicit FakeMedia(std::string name) : name_(std::move(name)) { ++liveFakes; }
  ~FakeMedia() override { --liveFakes; }
  int Open(const std::string& path, const std::string& extension, WindowHandle) override {
    attempts.push_back({name_, path, extension});
    const auto found = behaviours.find(name_);
    const Behaviour behaviour = found != behaviours.end() ? found->second : Behaviour{};
    info_.Kind = kKindSound;
    SetInfoText(info_.Codec, behaviour.detail);
    return behaviour.result;
  }
  int Close() override { return 0; }

 private:
  std::string name_;
};

// The class each group slot gets, in group order, then the video alternative.
constexpr const char* kFakeNames[] = {"MP3",  "APE",        "OGG",     "MOD",  "VQF",   "SNESAPU",  "MIO",
                                      "FLAC", "DIRECTSHOW", "ARCHIVE", "HTML", "IMAGE", "MCIVIDEO", "MCISOUND",
                                      "OPENMPT"};
template <int N>
std::unique_ptr<MediaFile> CreateFake() {
  return std::make_unique<FakeMedia>(kFakeNames[N]);
}
constexpr MediaCreator kFakeCreators[] = {CreateFake<0>,  CreateFake<1>, CreateFake<2>, CreateFake<3>, CreateFake<14>,
                                          CreateFake<4>,  CreateFake<5>, CreateFake<6>, CreateFake<7>, CreateFake<13>,
                                          CreateFake<8>,  CreateFake<9>, CreateFake<10>, CreateFake<11>};
constexpr std::size_t kVideoGroup = 10;

// Installs fake classes into every group (restored afterwards) and gives each
// test a clean player state and settings.
class MediaFactory : public test::TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    savedSettings_ = ProgramSettings();
    savedFolder_ = fs::current_path();
    const auto groups = ClassGroups();
    ASSERT_EQ(groups.size(), std::size(kFakeCreators));
    for (std::size_t i = 0; i < groups.size(); ++i) {
      savedCreators_.emplace_back(groups[i].create, groups[i].createAlternative);
      groups[i].create = kFakeCreators[i];
    }
    groups[kVideoGroup].createAlternative = CreateFake<12>;
    ProgramSettings().kestravoxLog = 0;
    ProgramSettings().kestravoxMixPlay = 0;
    ProgramSettings().videosetDShow = 1;
    ProgramSettings().soundsetLoop = 0;
    behaviours.clear();
    attempts.clear();
    Player().media.reset();
    Player().fileList = FileList{};
    fs::create_directories(Media());
  }

  void TearDown() override {
    Player().media.reset();
    Player().fileList = FileList{};
    const auto groups = ClassGroups();
    for (std::size_t i = 0; i < savedCreators_.size(); ++i) {
      groups[i].create = savedCreators_[i].first;
      groups[i].createAlternative = savedCreators_[i].second;
    }
    ProgramSettings() = savedSettings_;
    CloseLog();
    fs::current_path(savedFolder_);
    TempHome::TearDown();
  }

  fs::path Media() const { return root() / "media"; }
  std::string Make(const std::string& name, const std::string& bytes = "data") {
    test::WriteFile(Media() / name, bytes);
    return (Media() / name).string();
  }
  static Names Tried() {
    Names names;
    for (const Attempt& attempt : attempts) names.push_back(attempt.className);
    return names;
  }
  static MediaInfo CurrentInfo() {
    MediaInfo info;
    Player().media->GetInfo(info);
    return info;
  }
  static std::string CurrentErrorText() {
    char buffer[256] = {};
    Player().media->GetErrorText(buffer, sizeof buffer);
    return buffer;
  }
  static int Load(std::string path, int filter = 0) { return LoadMedia(nullptr, path, filter); }
  void NoClasses() {
    for (ClassGroup& group : ClassGroups()) group.create = group.createAlternative = nullptr;
  }

 private:
  Settings savedSettings_{};
  fs::path savedFolder_;
  std::vector<std::pair<MediaCreator, MediaCreator>> savedCreators_;
};

TEST_F(MediaFactory, GroupsAreInTheirFixedOrder) {
  Names names;
  for (const ClassGroup& group : ClassGroups()) names.push_back(group.className);
  EXPECT_EQ(names, (Names{"MP3", "APE", "OGG", "MOD", "OPENMPT", "VQF", "SNESAPU", "MIO", "FLAC", "MCISOUND",
                          "DIRECTSHOW", "ARCHIVE", "HTML", "IMAGE"}));
}

struct WalkCase {
  const char* name;
  const char* file;
  std::string bytes;
  int filter;
  int mixPlay;
  int dshow;
  std::map<std::string, Behaviour> behaviours;
  Names tried;
  std::string firstExtension;  // what the first tried class was given
  int result;
  std::string detail;  // ERRORFILE's hint
};

class MediaFactoryWalk : public MediaFactory, public ::testing::WithParamInterface<WalkCase> {};

TEST_P(MediaFactoryWalk, TriesTheGroupsThatTakePartInOrder) {
  const WalkCase& c = GetParam();
  ProgramSettings().kestravoxMixPlay = c.mixPlay;
  ProgramSettings().videosetDShow = c.dshow;
  behaviours = c.behaviours;

  EXPECT_EQ(Load(Make(c.file, c.bytes), c.filter), c.result);
  EXPECT_EQ(Tried(), c.tried);
  if (!attempts.empty()) {
    EXPECT_EQ(attempts.front().extension, c.firstExtension);
  }
  ASSERT_NE(Player().media, nullptr);
  if (c.result == kResultSuccess || c.result == kResultNothingToPlay) {
    EXPECT_EQ(liveFakes, 1);  // the object that opened stays current
  } else {
    EXPECT_EQ(liveFakes, 0);  // every failed object was deleted
    const MediaInfo info = CurrentInfo();
    EXPECT_EQ(info.Kind, kKindUnplayable);
    EXPECT_EQ(std::string(info.Codec), c.detail);
    EXPECT_EQ(CurrentErrorText(), LoadString(1000 + c.result));
  }
}

const Behaviour kOpens{kResultSuccess, ""};

INSTANTIATE_TEST_SUITE_P(
    Walks, MediaFactoryWalk,
    ::testing::Values(
        WalkCase{"Mp3FallsThroughToImageThenErrorFile", "song.mp3", "ID3\x03", 0, 0, 1,
                 {{"MP3", {10, "VBMP3"}}, {"MCISOUND", {7, "MPEG Layer-3"}}, {"IMAGE", {11, "Susie plug-in"}}},
                 {"MP3", "MCISOUND", "IMAGE"}, "MP3", 11, "Susie plug-in"},
        WalkCase{"ModTheEngineRefusesGoesToOpenmpt", "tune.mod", "CD61", 0, 0, 1,
                 {{"MOD", {5, ""}}, {"OPENMPT", kOpens}}, {"MOD", "OPENMPT"}, "MOD", 0, ""},
        WalkCase{"XmTheEngineOpensStaysWithMod", "tune.xm", "Exte", 0, 0, 1, {{"MOD", kOpens}}, {"MOD"}, "XM", 0, ""},
        WalkCase{"ScreamTrackerModuleGoesToOpenmptThenImage", "tune.s3m", "song", 0, 0, 1, {},
                 {"OPENMPT", "IMAGE"}, "S3M", 4, ""},
        WalkCase{"SoundFilterModuleNobodyOpensShowsOpenmptCode", "tune.mod", "xxxx", 1, 0, 1,
                 {{"MOD", {5, ""}}, {"OPENMPT", {5, ""}}}, {"MOD", "OPENMPT"}, "MOD", 5, ""},
        WalkCase{"Mp3OpensInItsOwnClass", "song.mp3", "ID3\x03", 0, 0, 1, {{"MP3", kOpens}}, {"MP3"}, "MP3", 0, ""},
        WalkCase{"McisoundPlaysMp3WhenMp3ClassFails", "song.mp3", "ID3\x03", 0, 0, 1,
                 {{"MP3", {10, "VBMP3"}}, {"MCISOUND", kOpens}}, {"MP3", "MCISOUND"}, "MP3", 0, ""},
        WalkCase{"NothingToPlayIsKept", "pack.zip", "PK\x03\x04", 0, 0, 1, {{"ARCHIVE", {9, ""}}}, {"ARCHIVE"}, "ZIP",
                 9, ""},
        WalkCase{"MidiHeaderMakesDatAMidi", "song.dat", "MThd", 0, 0, 1, {}, {"MCISOUND", "IMAGE"}, "MID", 4, ""},
        WalkCase{"BitmapHeaderMakesJpgABitmap", "picture.jpg", "BMxx", 0, 0, 1, {}, {"IMAGE"}, "BMP", 4, ""},
        WalkCase{"ZipHeaderGoesToArchives", "data.bin", "PK\x03\x04", 0, 0, 1, {}, {"ARCHIVE", "IMAGE"}, "ZIP", 4, ""},
        WalkCase{"RiffAviStaysAvi", "movie.avi", "RIFF", 0, 0, 1, {}, {"DIRECTSHOW", "IMAGE"}, "AVI", 4, ""},
        WalkCase{"RiffMp3StaysMp3", "song.mp3", "RIFF", 0, 0, 1, {}, {"MP3", "MCISOUND", "IMAGE"}, "MP3", 4, ""},
        WalkCase{"VideoWithoutDShowUsesMciVideo", "movie.mpg", "\0\0\x01\xba", 0, 0, 0, {}, {"MCIVIDEO", "IMAGE"},
                 "MPG", 4, ""},
        WalkCase{"ExtensionCaseIgnored", "SONG.Mp3", "ID3\x03", 0, 0, 1, {}, {"MP3", "MCISOUND", "IMAGE"}, "MP3", 4,
                 ""},
        WalkCase{"Filter2WithoutMixPlaySkipsMp3", "song.mp3", "ID3\x03", 2, 0, 1, {}, {}, "", 4, ""},
        WalkCase{"Filter2WithMixPlayTriesMp3", "song.mp3", "ID3\x03", 2, 1, 1, {}, {"MP3", "MCISOUND", "IMAGE"},
                 "MP3", 4, ""},
        WalkCase{"Filter1SkipsVideoAndImageWithoutMixPlay", "movie.avi", "RIFF", 1, 0, 1, {}, {}, "", 4, ""},
        WalkCase{"ArchivesIgnoreMixPlay", "pack.zip", "PK\x03\x04", 1, 1, 1, {}, {"IMAGE"}, "ZIP", 4, ""},
        WalkCase{"PdfAsFirstFileEndsWithImageCode", "doc.pdf", "%PDF", 0, 0, 1,
                 {{"HTML", {14, "Adobe Acrobat Reader"}}}, {"HTML", "IMAGE"}, "PDF", 4, ""},
        WalkCase{"PdfWithMixPlayEndsWithImageCode", "doc.pdf", "%PDF", 1, 1, 1,
                 {{"HTML", {14, "Adobe Acrobat Reader"}}}, {"IMAGE"}, "PDF", 4, ""},
        WalkCase{"PdfFromDocumentShowsDocumentCode", "doc.pdf", "%PDF", 4, 0, 1,
                 {{"HTML", {14, "Adobe Acrobat Reader"}}}, {"HTML"}, "PDF", 14, "Adobe Acrobat Reader"},
        // A sound device that cannot be opened is what the user is told, not
        // what the classes after it make of the file.
        WalkCase{"OggOnAnUnopenableDeviceShowsTheDeviceOverImage", "song.ogg", "OggS", 0, 0, 1,
                 {{"OGG", {6, ""}}}, {"OGG", "IMAGE"}, "OGG", 6, ""},
        WalkCase{"DeviceFailureWinsOverEveryLaterFailure", "song.mp3", "ID3\x03", 0, 0, 1,
                 {{"MP3", {6, "VBMP3"}}, {"MCISOUND", {1, ""}}, {"IMAGE", {11, "Susie plug-in"}}},
                 {"MP3", "MCISOUND", "IMAGE"}, "MP3", 6, "VBMP3"},
        WalkCase{"LaterDeviceFailureWinsOverImage", "song.mp3", "ID3\x03", 0, 0, 1,
                 {{"MP3", {10, "VBMP3"}}, {"MCISOUND", {6, ""}}}, {"MP3", "MCISOUND", "IMAGE"}, "MP3", 6, ""},
        WalkCase{"ClassAfterADeviceFailureMayStillPlay", "song.mp3", "ID3\x03", 0, 0, 1,
                 {{"MP3", {6, ""}}, {"MCISOUND", kOpens}}, {"MP3", "MCISOUND"}, "MP3", 0, ""},
        WalkCase{"VideoOnAnUnopenableDeviceShowsTheDevice", "movie.avi", "RIFF", 0, 0, 1,
                 {{"DIRECTSHOW", {6, ""}}}, {"DIRECTSHOW", "IMAGE"}, "AVI", 6, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MediaFactory, WithoutClassesAFileIsUnsupportedAndAMissingOneNotFound) {
  NoClasses();
  EXPECT_EQ(Load(Make("song.mp3")), kResultUnsupported);
  EXPECT_EQ(CurrentInfo().Kind, kKindUnplayable);
  EXPECT_EQ(Load((Media() / "missing.mp3").string()), kResultFileNotFound);
  EXPECT_EQ(CurrentErrorText(), LoadString(1003));
}

TEST_F(MediaFactory, ClassCodeWinsOverMissingFile) {
  behaviours["MP3"] = {kResultBrokenFile, ""};
  behaviours["MCISOUND"] = {kResultWrongExtension, ""};
  EXPECT_EQ(Load((Media() / "missing.mp3").string()), kResultUnsupported);  // IMAGE's code, the last tried
  EXPECT_EQ(Tried(), (Names{"MP3", "MCISOUND", "IMAGE"}));
}

TEST_F(MediaFactory, PathBecomesAbsoluteAndNormalised) {
  const std::string expected = Make("song.mp3");
  fs::create_directories(Media() / "sub");
  fs::current_path(Media());
  std::string path = "sub/../song.mp3/";
  LoadMedia(nullptr, path, 0);
  EXPECT_EQ(path, expected);
  ASSERT_FALSE(attempts.empty());
  EXPECT_EQ(attempts.front().path, expected);
}

TEST_F(MediaFactory, FolderLoadsItsFirstFileInNameOrder) {
  Make("album/b.mp3");
  Make("album/a.mp3");
  fs::create_directories(Media() / "album" / "sub.mp3");
  behaviours["MP3"] = kOpens;
  EXPECT_EQ(Load((Media() / "album").string()), kResultSuccess);
  const FileList& list = Player().fileList;
  EXPECT_EQ(list.source, kListFolder);
  EXPECT_EQ(list.entries, (Names{(Media() / "album" / "a.mp3").string(), (Media() / "album" / "b.mp3").string()}));
  EXPECT_EQ(list.index, 0);
  ASSERT_EQ(attempts.size(), 1u);
  EXPECT_EQ(attempts[0].path, list.entries[0]);
}

TEST_F(MediaFactory, FolderWithADotInItsNameIsStillAFolder) {
  Make("Album.2001/track.ogg");
  behaviours["OGG"] = kOpens;
  EXPECT_EQ(Load((Media() / "Album.2001").string()), kResultSuccess);
  EXPECT_EQ(Player().fileList.source, kListFolder);
  EXPECT_EQ(Tried(), Names{"OGG"});
}

TEST_F(MediaFactory, FileWithoutExtensionGoesThroughTheClassGroups) {
  const std::string readme = Make("docs/README", "text");
  const std::string tune = Make("docs/Tune", "MThd");
  Make("docs/song.mp3");
  behaviours["MP3"] = kOpens;
  Player().fileList.firstArgument = readme;

  EXPECT_EQ(Load(readme), kResultUnsupported);  // nothing opens it: the controller passes it by
  EXPECT_EQ(Tried(), Names{"IMAGE"});
  EXPECT_EQ(attempts[0].path, readme);
  EXPECT_EQ(attempts[0].extension, "");
  EXPECT_EQ(CurrentInfo().Kind, kKindUnplayable);
  EXPECT_EQ(Player().fileList.source, kListNone);  // its folder was not listed in its place
  EXPECT_TRUE(Player().fileList.entries.empty());

  attempts.clear();
  behaviours["MCISOUND"] = kOpens;
  EXPECT_EQ(Load(tune), kResultSuccess);  // its first bytes name it
  EXPECT_EQ(Tried(), Names{"MCISOUND"});
  EXPECT_EQ(attempts[0].extension, "MID");
}

TEST_F(MediaFactory, PlaylistEntryWithoutExtensionStaysAnEntryOfThePlaylist) {
  const std::string readme = Make("docs/README", "text");
  const std::string song = Make("docs/song.mp3");
  const std::string playlist = Make("mix.lst", readme + "\n" + song + "\n");
  behaviours["MP3"] = kOpens;
  Player().fileList.firstArgument = playlist;
  EXPECT_EQ(Load(playlist), kResultUnsupported);
  EXPECT_EQ(Player().fileList.source, kListPlaylist);
  EXPECT_EQ(Player().fileList.entries, (Names{readme, song}));
  EXPECT_EQ(Tried(), Names{"IMAGE"});
}

TEST_F(MediaFactory, RandomModeStartsAtARandomEntryInRange) {
  for (const char* name : {"a.mp3", "b.mp3", "c.mp3", "d.mp3", "e.mp3"}) Make(std::string("five/") + name);
  ProgramSettings().soundsetLoop = 3;
  std::set<int> seen;
  for (unsigned seed = 1; seed <= 20; ++seed) {
    SeedRandom(seed);
    attempts.clear();
    Load((Media() / "five").string());
    const FileList& list = Player().fileList;
    ASSERT_GE(list.index, 0);
    ASSERT_LT(list.index, 5);
    ASSERT_FALSE(attempts.empty());
    EXPECT_EQ(attempts[0].path, list.entries[static_cast<std::size_t>(list.index)]);
    seen.insert(list.index);
  }
  EXPECT_GT(seen.size(), 1u);
}

TEST_F(MediaFactory, PlaylistLoadsItsFirstEntryAgainstTheCurrentFolder) {
  const std::string playlist = Make("lists/mix.lst", "\r\nrel.ogg\r\n\r\n/elsewhere/b.mp3\r\n");
  fs::create_directories(root() / "cwd");
  fs::current_path(root() / "cwd");
  behaviours["OGG"] = kOpens;
  EXPECT_EQ(Load(playlist), kResultSuccess);
  EXPECT_EQ(Player().fileList.source, kListPlaylist);
  EXPECT_EQ(Player().fileList.entries, (Names{"rel.ogg", "/elsewhere/b.mp3"}));
  ASSERT_EQ(attempts.size(), 1u);
  EXPECT_EQ(attempts[0].path, (root() / "cwd" / "rel.ogg").string());
}

TEST_F(MediaFactory, PlaylistThatSniffsAsBitmapIsNoPlaylist) {
  EXPECT_EQ(Load(Make("odd.LST", "BM\x36\x00")), kResultUnsupported);
  EXPECT_EQ(Tried(), Names{"IMAGE"});
  EXPECT_EQ(attempts[0].extension, "BMP");
  EXPECT_EQ(Player().fileList.source, kListNone);
}

struct EmptyListCase {
  const char* name;
  const char* path;       // under the media folder
  const char* playlist;   // its content, or null for a folder / nothing
  bool makeFolder;
};

class MediaFactoryEmptyList : public MediaFactory, public ::testing::WithParamInterface<EmptyListCase> {};

TEST_P(MediaFactoryEmptyList, ShowsFileNotFoundAndKeepsTheList) {
  const EmptyListCase& c = GetParam();
  if (c.playlist) Make(c.path, c.playlist);
  if (c.makeFolder) fs::create_directories(Media() / c.path);
  Player().fileList.entries = {"previous.mp3"};
  Player().fileList.source = kListNone;

  EXPECT_EQ(Load((Media() / c.path).string()), kResultFileNotFound);
  EXPECT_EQ(CurrentInfo().Kind, kKindUnplayable);
  EXPECT_EQ(Player().fileList.entries, Names{"previous.mp3"});
  EXPECT_EQ(Player().fileList.source, kListNone);
  EXPECT_TRUE(attempts.empty());
}

INSTANTIATE_TEST_SUITE_P(EmptyLists, MediaFactoryEmptyList,
                         ::testing::Values(EmptyListCase{"EmptyFolder", "empty", nullptr, true},
                                           EmptyListCase{"FolderOfFoldersOnly", "nested/inner", nullptr, true},
                                           EmptyListCase{"BlankPlaylist", "blank.lst", "\r\n\r\n", false},
                                           EmptyListCase{"EmptyPlaylist", "none.lst", "", false},
                                           EmptyListCase{"MissingPlaylist", "missing.lst", nullptr, false},
                                           EmptyListCase{"MissingFolder", "missing", nullptr, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(MediaFactory, PlaylistListingItselfEndsWithoutEndlessRecursion) {
  const std::string self = (Media() / "self.lst").string();
  Make("self.lst", self + "\n");
  EXPECT_EQ(Load(self), kResultUnsupported);
  EXPECT_EQ(CurrentInfo().Kind, kKindUnplayable);
  EXPECT_TRUE(attempts.empty());
}

TEST_F(MediaFactory, PlaylistEntryThatIsAFolderListsThatFolder) {
  const std::string song = Make("albums/one/song.flac");
  behaviours["FLAC"] = kOpens;
  const std::string playlist = Make("folders.lst", (Media() / "albums" / "one").string() + "\n");
  Player().fileList.firstArgument = playlist;
  EXPECT_EQ(Load(playlist), kResultSuccess);
  EXPECT_EQ(Player().fileList.source, kListFolder);
  EXPECT_EQ(Player().fileList.entries, Names{song});
  EXPECT_EQ(Tried(), Names{"FLAC"});
}

TEST_F(MediaFactory, LogsEveryStep) {
  ProgramSettings().kestravoxLog = 1;
  behaviours["MP3"] = {10, "VBMP3"};
  behaviours["MCISOUND"] = {7, ""};
  behaviours["IMAGE"] = {11, "Susie plug-in"};
  const std::string song = Make("song.mp3", "ID3\x03");
  Load(song);
  behaviours["MCISOUND"] = kOpens;
  Load(song);
  Load((Media() / "missing.wav").string());
  Load(Media().string());
  CloseLog();
  const std::string log = test::ReadFile(settingsFolder() / "LOG.TXT");
  for (const std::string& line :
       {"\"LoadMedia\" , \"0\" \r\n\"" + song + "\" , \"0\" \r\n\"MP3\" , \"0\" \r\n", std::string("\"ERR\" , \"7\""),
        std::string("\"ERRORFILE コンストラクタ\""), std::string("\"Susie plug-in\" , \"0\""),
        std::string("\"delete MediaFile\" , \"0\""), std::string("\"RETURN\" , \"0\""),
        std::string("\"ヘッダ調査に失敗\" , \"0\""), "\"" + Media().string() + "/*\" , \"0\""}) {
    EXPECT_NE(log.find(line), std::string::npos) << line;
  }
}

struct ExtensionCase {
  const char* path;
  const char* extension;
};

class PathExtensionOf : public ::testing::TestWithParam<ExtensionCase> {};

TEST_P(PathExtensionOf, IsTakenFromTheLastComponentOnly) {
  EXPECT_EQ(PathExtension(GetParam().path), GetParam().extension);
}

INSTANTIATE_TEST_SUITE_P(Paths, PathExtensionOf,
                         ::testing::Values(ExtensionCase{"/m/song.mp3", "mp3"}, ExtensionCase{"song.Flac", "Flac"},
                                           ExtensionCase{"/home/u/.local/x", ""},
                                           ExtensionCase{"/m/My.Music/song", ""},
                                           ExtensionCase{"/m/My.Music/song.ogg", "ogg"},
                                           ExtensionCase{"/m/a.b.tar.gz", "gz"}, ExtensionCase{"/m/song.", ""},
                                           ExtensionCase{"/m/dir.d/", ""}, ExtensionCase{"/m/.hidden", "hidden"},
                                           ExtensionCase{"", ""}, ExtensionCase{"noext", ""}));

struct SniffCase {
  const char* name;
  std::string bytes;
  const char* extension;
};

class SniffExtensionOf : public ::testing::TestWithParam<SniffCase> {};

TEST_P(SniffExtensionOf, FirstMatchingSignatureDecides) {
  EXPECT_EQ(SniffExtension(GetParam().bytes, "kept"), GetParam().extension);
}

INSTANTIATE_TEST_SUITE_P(
    Signatures, SniffExtensionOf,
    ::testing::Values(SniffCase{"Riff", "RIFF", "kept"}, SniffCase{"LowerRiffMatchesNothing", "riff", "kept"},
                      SniffCase{"Midi", "MThd", "MID"}, SniffCase{"MidiAnyCase", "mthD", "MID"},
                      SniffCase{"BitmapAnyCase", "bmxx", "BMP"}, SniffCase{"PngAnyCase", "\x89png", "PNG"},
                      SniffCase{"Gif", "GIF8", "GIF"}, SniffCase{"RealMedia", ".RMF", "RM"},
                      SniffCase{"Flash", "FWS\x06", "SWF"}, SniffCase{"CompressedFlashKept", "CWS\x06", "kept"},
                      SniffCase{"Aiff", "FORM", "AIF"}, SniffCase{"SunAudio", ".snd", "AU"},
                      SniffCase{"Zip", "PK\x03\x04", "ZIP"}, SniffCase{"MonkeysAudio", "MAC ", "APE"},
                      SniffCase{"ShortFileStillMatches", "BM", "BMP"}, SniffCase{"TooShort", "B", "kept"},
                      SniffCase{"Empty", "", "kept"}, SniffCase{"ZeroByteEndsText", std::string("B\0M", 3), "kept"},
                      SniffCase{"ZeroAfterSignatureMatches", std::string("PK\0\0", 4), "ZIP"},
                      SniffCase{"OnlyTheStartCounts", "xMThd", "kept"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qorve
