// The whole job in the dialog, on the offscreen platform, against a page host
// and a file host on loopback: what is offered is installed, the failing
// libraries get their boxes and the summary follows, the remaining-time field
// runs from "計算中" through numbers to "0", and the dialog closes itself.
#include <QApplication>
#include <QLineEdit>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <mutex>
#include <tuple>
#include <vector>

#include "download_site_fake.h"
#include "downloader/install_dialog.h"
#include "downloader/site_hosts.h"
#include "loopback_http_server_fake.h"
#include "common/settings.h"
#include "platform/system/folders.h"
#include "platform/system/profile.h"
#include "support/temp_home.h"

namespace qorve {
namespace {

namespace fs = std::filesystem;
using Box = std::tuple<std::string, std::string, BoxIcon>;

QApplication& Application() {
  static int argc = 1;
  static char name[] = "downloader_test";
  static char* argv[] = {name, nullptr};
  static QApplication* application = new QApplication(argc, argv);
  return *application;
}

class InstallJobTest : public test::TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    setenv("QORVE_FAKE_ARCHIVER_LOG", (root() / "archiver.log").c_str(), 1);
    SetProgramFolderForTesting(FAKE_ARCHIVERS_DIR);
    SetMessageBoxHookForTesting([this](const std::string& text, const std::string& caption, BoxIcon icon) {
      std::lock_guard lock(boxesMutex_);
      boxes_.emplace_back(text, caption, icon);
    });
  }
  void TearDown() override {
    SetMessageBoxHookForTesting({});
    SetProgramFolderForTesting({});
    unsetenv("QORVE_FAKE_ARCHIVER_LOG");
    TempHome::TearDown();
  }
  fs::path Pages() const { return root() / "pages"; }
  fs::path Files() const { return root() / "files"; }

  std::mutex boxesMutex_;
  std::vector<Box> boxes_;
};

TEST_F(InstallJobTest, InstallsWhatIsOfferedAndReportsTheRest) {
  if (!test::HaveSiteTools()) GTEST_SKIP() << "jlha or gcab missing";
  Application();
  using test::LibraryPage;
  using test::WriteFile;
  WriteFile(Pages() / "unlha32.html", LibraryPage("lha255e.exe"));
  test::WriteLzhSelfExtractor(Files() / "lha255e.exe", 20000, "unlha32.dll", "UNLHA32 new");
  WriteFile(Pages() / "cab32.html", LibraryPage("cab32_102.exe"));
  test::WriteCabinetSelfExtractor(Files() / "cab32_102.exe", "CAB32 new");
  for (const char* library : {"unzip32.zip", "unrar32.lzh", "tar32.ZIP", "bga32.lzh", "aish32.zip"}) {
    const std::string name = library;
    WriteFile(Pages() / (name.substr(0, name.find('.')) + ".html"), LibraryPage(name));
    WriteFile(Files() / name, "archive");
  }
  WriteFile(Pages() / "ungca32.html", "<p>no file entry</p>");
  WriteFile(Pages() / "yz1.html", "<p>File:yz1.lzh without its bracket</p>");
  WriteFile(Pages() / "unbel32.html", LibraryPage("../unbel32.lzh"));
  WriteFile(Pages() / "ish32.html", LibraryPage("ish32.lzh"));  // not on the file host; unimp32.html is missing
  test::LoopbackHttpServer pageHost(Pages(), 150);  // several refreshes of the fields per page
  test::LoopbackHttpServer fileHost(Files());
  ASSERT_TRUE(WritePrivateProfileString("PAKGRAB", "PAGEHOST", pageHost.Host(), SettingsFilePath()));
  ASSERT_TRUE(WritePrivateProfileString("PAKGRAB", "FILEHOST", "http://" + fileHost.Host() + "/", SettingsFilePath()));
  const fs::path system = LibrarySystemFolder();
  WriteFile(system / "UNLHA32.DLL", "old");
  WriteFile(system / "CAB32.DLL", "old");

  const fs::path work = root() / "work";
  InstallDialog dialog(InstallPlaces{LoadSiteHosts(), work, system});
  EXPECT_EQ(dialog.windowTitle().toStdString(), "アーカイバＤＬＬインストール中");
  auto* remaining = dialog.findChild<QLineEdit*>("1002");
  ASSERT_NE(remaining, nullptr);
  std::vector<std::string> remainingTexts;
  QTimer sampler;
  QObject::connect(&sampler, &QTimer::timeout, [&] {
    const std::string text = remaining->text().toStdString();
    if (!text.empty() && (remainingTexts.empty() || remainingTexts.back() != text)) remainingTexts.push_back(text);
  });
  sampler.start(5);
  QTimer watchdog;
  watchdog.setSingleShot(true);
  QObject::connect(&watchdog, &QTimer::timeout, [&] { ADD_FAILURE() << "dialog still open"; dialog.done(1); });
  watchdog.start(60000);
  EXPECT_EQ(dialog.exec(), 0);

  EXPECT_EQ(test::ReadFile(system / "UNLHA32.DLL"), "old");  // never replaced
  EXPECT_EQ(test::ReadFile(system / "CAB32.DLL"), "CAB32 new");
  for (const char* installed : {"UNZIP32.DLL", "UNRAR32.DLL", "TAR32.DLL", "BGA32.DLL", "AISH32.DLL"}) {
    EXPECT_TRUE(fs::exists(system / installed)) << installed;
  }
  const std::string log = test::ReadFile(root() / "archiver.log");
  EXPECT_NE(log.find("UnZip\te -n -m1 -c0 -gm0 -ga1 \"" + (work / "unzip32.zip").string() + "\" \"" +
                     system.string() + "\\\" *.DLL\n"),
            std::string::npos);
  EXPECT_NE(log.find("Unlha\te -n -m1 -c0 -gm0 -ga1 \"" + (work / "tar32.ZIP").string()), std::string::npos);
  EXPECT_TRUE(fs::is_empty(work));  // every working file deleted

  const std::vector<std::string> fileRequests = fileHost.Requests();
  EXPECT_EQ(fileRequests.front(), "/archiver/lib/lha255e.exe");
  for (const std::string& request : fileRequests) EXPECT_EQ(request.find("unbel32"), std::string::npos);
  EXPECT_EQ(pageHost.Requests().size(), 12u);

  const std::vector<Box> expected{
      {"これから、各種解凍ＤＬＬのダウンロードとインストールを開始します。\nインターネットに接続し、"
       "他のアーカイバソフトを全て終了させてください。",
       "準備ＯＫ？", BoxIcon::kNone},
      {"UNGCA32.DLLのインストールに失敗", "", BoxIcon::kError},
      {"YZ1.DLLのインストールに失敗", "", BoxIcon::kError},
      {"UNBEL32.DLLのインストールに失敗", "", BoxIcon::kError},
      {"UNIMP32.DLLのインストールに失敗", "", BoxIcon::kError},
      {"ISH32.DLLのインストールに失敗", "", BoxIcon::kError},
      {"一部インストールに失敗したＤＬＬがあります。", "一部失敗", BoxIcon::kNone}};
  EXPECT_EQ(boxes_, expected);

  ASSERT_GE(remainingTexts.size(), 3u);
  EXPECT_EQ(remainingTexts.front(), "計算中");
  EXPECT_EQ(remainingTexts.back(), "0");
  EXPECT_NE(remainingTexts[1].find('.'), std::string::npos);
  EXPECT_EQ(dialog.findChild<QLineEdit*>("1033")->text(), "");
}

}  // namespace
}  // namespace qorve
