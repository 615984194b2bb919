// What a hostile or absent distribution site can do to the downloader: a page
// that names a file built to rewrite the archiver's command line, downloads
// that never end, an archive that unpacks without end, and no site configured
// at all.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "download_site_fake.h"
#include "lha_member_fake.h"
#include "downloader/download_file.h"
#include "downloader/find_latest_file.h"
#include "downloader/install_worker.h"
#include "downloader/library_table.h"
#include "downloader/site_hosts.h"
#include "loopback_http_server_fake.h"
#include "platform/system/folders.h"
#include "support/file_size_limit.h"
#include "support/temp_home.h"

namespace qorve {
namespace {

namespace fs = std::filesystem;

class HostileSiteTest : public test::TempHome {
 protected:
  void TearDown() override {
    if (!previousFolder_.empty()) fs::current_path(previousFolder_);
    SetProgramFolderForTesting({});
    TempHome::TearDown();
  }
  // Runs the rest of the test in `folder`, as pakgrab runs in the folder it
  // was started from (often the home folder).
  void EnterFolder(const fs::path& folder) {
    fs::create_directories(folder);
    previousFolder_ = fs::current_path();
    fs::current_path(folder);
  }

 private:
  fs::path previousFolder_;
};

// The earlier library left an LHA archive of the attacker's under the name
// UNLHA32.DLL in the working folder; the next page names a "file" whose quote
// would end the archive's word and add a member pattern, leaving the archiver
// module without a destination, so it would unpack into the current folder.
TEST_F(HostileSiteTest, APageCannotMakeTheArchiverWriteIntoTheCurrentFolder) {
  if (!test::HaveSiteTools()) GTEST_SKIP() << "jlha or gcab missing";
  if (!fs::exists(ProgramFolder() / "UNLHA32.so")) GTEST_SKIP() << "UNLHA32.so is not built";
  const fs::path work = root() / "work";
  const fs::path system = root() / "system";
  fs::create_directories(system);
  test::WriteLzhSelfExtractor(work / "UNLHA32.DLL", 0, ".bashrc", "the attacker's commands\n");
  const std::string hostileName = "UNLHA32.DLL\" \".bashrc";
  test::WriteFile(root() / "pages" / "unrar32.html", test::LibraryPage(hostileName));
  test::WriteFile(root() / "files" / hostileName, "anything");
  test::LoopbackHttpServer pages(root() / "pages");
  test::LoopbackHttpServer files(root() / "files");
  const fs::path current = root() / "home";
  EnterFolder(current);

  InstallState state;
  const LibraryEntry library{"unrar32.html", "UNRAR32", LibraryKind::kArchive, "UNRAR32.DLLのインストールに失敗"};
  EXPECT_EQ(InstallLibrary(library, state, InstallPlaces{{pages.Host(), files.Host()}, work, system}), -1);
  EXPECT_FALSE(fs::exists(current / ".bashrc"));
  EXPECT_TRUE(fs::is_empty(system));
  EXPECT_TRUE(files.Requests().empty());
}

// Downloads stop at a limit, whether or not the host announces the size: a
// page at 1 MiB, an archive at 16 MiB. What was received is deleted.
TEST_F(HostileSiteTest, DownloadsStopAtTheirLimit) {
  const fs::path site = root() / "site";
  test::WriteFile(site / "exact.lzh", std::string(kDownloadLimit, 'a'));
  test::WriteFile(site / "huge.lzh", std::string(kDownloadLimit + 1, 'a'));
  test::WriteFile(site / "huge.html", "[File:a.lzh]" + std::string(kPageDownloadLimit, ' '));
  const auto internet = OpenInternet();
  for (const bool sendLength : {true, false}) {
    SCOPED_TRACE(sendLength ? "with Content-Length" : "without Content-Length");
    test::LoopbackHttpServer host(site, 0, sendLength);
    const std::string base = "http://" + host.Host() + "/archiver/lib/";
    EXPECT_EQ(DownloadFile(internet.get(), base + "exact.lzh", root() / "got"), kDownloadDone);
    EXPECT_EQ(fs::file_size(root() / "got"), kDownloadLimit);
    std::atomic<uint64_t> total{0}, received{0};
    EXPECT_EQ(DownloadFile(internet.get(), base + "huge.lzh", root() / "got", &total, &received), kDownloadFailed);
    EXPECT_FALSE(fs::exists(root() / "got"));
    EXPECT_LE(received.load(), kDownloadLimit);
    std::string name;
    EXPECT_EQ(FindLatestFile(internet.get(), base + "huge.html", root(), name), -1);
    EXPECT_FALSE(fs::exists(root() / "ARC.HTML"));
  }
}

// An UNLHA32 download of a few kilobytes that would unpack to 8 GiB is a
// failed installation (the worker shows its box) and leaves the working
// folder empty.
TEST_F(HostileSiteTest, AnLhaBombIsAFailedInstallation) {
  const test::FileSizeLimit safetyNet(8 << 20);
  const fs::path work = root() / "work";
  const fs::path system = root() / "system";
  fs::create_directories(work);
  fs::create_directories(system);
  test::WriteFile(root() / "pages" / "unlha32.html", test::LibraryPage("lha_bomb.exe"));
  test::WriteFile(root() / "files" / "lha_bomb.exe",
                  test::Lh5SpacesMember("UNLHA32.DLL", UINT32_MAX) + test::Lh5SpacesMember("UNLHA32.DLL", UINT32_MAX));
  test::LoopbackHttpServer pages(root() / "pages");
  test::LoopbackHttpServer files(root() / "files");
  InstallState state;
  const LibraryEntry& unlha32 = LibraryTable()[0];
  ASSERT_EQ(unlha32.kind, LibraryKind::kBuiltInLha);
  EXPECT_EQ(InstallLibrary(unlha32, state, InstallPlaces{{pages.Host(), files.Host()}, work, system}), -1);
  EXPECT_EQ(files.Requests(), std::vector<std::string>{"/archiver/lib/lha_bomb.exe"});
  EXPECT_TRUE(fs::is_empty(work));
  EXPECT_TRUE(fs::is_empty(system));
}

class RecordingUi final : public InstallUi {
 public:
  void ShowMessage(const std::string& text, const std::string& caption, BoxIcon icon) override {
    std::lock_guard lock(mutex);
    boxes.push_back(text);
    captions.push_back(caption);
    icons.push_back(icon);
  }
  void StartTimer() override {}
  void StopTimer() override {}
  void Close() override { closed = true; }

  std::mutex mutex;
  std::vector<std::string> boxes;
  std::vector<std::string> captions;
  std::vector<BoxIcon> icons;
  std::atomic<bool> closed{false};
};

// With no site in the settings and none named by the build, the job says so
// and closes, having created, fetched and installed nothing.
TEST_F(HostileSiteTest, NoConfiguredSiteChangesNothing) {
  if (BuiltInSiteHosts().IsConfigured()) GTEST_SKIP() << "this build names its own library site";
  EXPECT_FALSE(LoadSiteHosts().IsConfigured());

  for (const SiteHosts& partial : {SiteHosts{}, SiteHosts{"127.0.0.1:1", ""}, SiteHosts{"", "127.0.0.1:1"}}) {
    const fs::path work = root() / "work";
    const fs::path system = root() / "system";
    InstallState state;
    RecordingUi ui;
    InstallWorker(state, ui, InstallPlaces{partial, work, system});
    EXPECT_TRUE(ui.closed);
    EXPECT_EQ(ui.boxes, std::vector<std::string>{"アーカイバＤＬＬの配布サイトが設定されていません。\n"
                                                 "設定ファイルの [PAKGRAB] に PAGEHOST と FILEHOST を書いてください。"});
    EXPECT_EQ(ui.icons, std::vector<BoxIcon>{BoxIcon::kError});
    EXPECT_EQ(state.Status(), "配布サイトが設定されていません");
    EXPECT_EQ(state.count.load(), 0);
    EXPECT_FALSE(fs::exists(work));
    EXPECT_FALSE(fs::exists(system));
  }
}

}  // namespace
}  // namespace qorve
