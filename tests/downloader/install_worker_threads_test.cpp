// The worker on its own thread while this thread reads the shared record as
// the dialog's timer does: every library offered is installed, UNLHA32 by the
// built-in reader into an empty system folder, with no failure box.
#include "downloader/install_worker.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "download_site_fake.h"
#include "downloader/install_estimate.h"
#include "loopback_http_server_fake.h"
#include "platform/system/clock.h"
#include "platform/system/folders.h"
#include "support/temp_home.h"

namespace qorve {
namespace {

namespace fs = std::filesystem;

class RecordingUi final : public InstallUi {
 public:
  void ShowMessage(const std::string& text, const std::string&, BoxIcon) override {
    std::lock_guard lock(mutex);
    boxes.push_back(text);
  }
  void StartTimer() override { timerRunning = true; }
  void StopTimer() override { timerRunning = false; }
  void Close() override { closed = true; }

  std::mutex mutex;
  std::vector<std::string> boxes;
  std::atomic<bool> timerRunning{false};
  std::atomic<bool> closed{false};
};

class InstallWorkerTest : public test::TempHome {
 protected:
  void TearDown() override {
    SetProgramFolderForTesting({});
    TempHome::TearDown();
  }
};

TEST_F(InstallWorkerTest, InstallsEveryOfferedLibraryWhileTheDisplayReads) {
  if (!test::HaveSiteTools()) GTEST_SKIP() << "jlha or gcab missing";
  SetProgramFolderForTesting(FAKE_ARCHIVERS_DIR);
  const fs::path site = root() / "site";
  test::WriteFile(site / "unlha32.html", test::LibraryPage("lha255e.exe"));
  test::WriteLzhSelfExtractor(site / "lha255e.exe", 70000 - 8000, "UNLHA32.DLL", "the LHA library");
  test::WriteFile(site / "cab32.html", test::LibraryPage("cab32.exe"));
  test::WriteCabinetSelfExtractor(site / "cab32.exe", "the cabinet library");
  const std::vector<std::string> archived{"unzip32", "unrar32", "ungca32", "tar32", "yz1",
                                          "unbel32", "unimp32", "ish32",   "bga32", "aish32"};
  for (const std::string& name : archived) {
    test::WriteFile(site / (name + ".html"), test::LibraryPage(name + ".lzh"));
    test::WriteFile(site / (name + ".lzh"), "archive");
  }
  test::LoopbackHttpServer host(site);
  const fs::path system = root() / "system";
  const InstallPlaces places{{host.Host(), host.Host()}, root() / "work", system};

  InstallState state;
  RecordingUi ui;
  std::thread worker([&] { InstallWorker(state, ui, places); });
  std::vector<std::string> statuses;
  while (!ui.closed) {
    const uint32_t now = TimeGetTime();
    std::string status = state.Status();
    if (!status.empty() && (statuses.empty() || statuses.back() != status)) statuses.push_back(status);
    ElapsedText(state.startTime, now);
    RemainingText(state.estimate, state.startTime, now, state.count);
    SleepMs(1);
  }
  worker.join();

  EXPECT_EQ(ui.boxes.size(), 1u);  // only the confirmation
  EXPECT_FALSE(ui.timerRunning);
  EXPECT_EQ(state.count.load(), kLibraryCount);
  EXPECT_EQ(test::ReadFile(system / "UNLHA32.DLL"), "the LHA library");
  EXPECT_EQ(test::ReadFile(system / "CAB32.DLL"), "the cabinet library");
  for (const std::string& name : archived) {
    std::string file = name + ".DLL";
    for (char& c : file) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(test::ReadFile(system / file), "Unlha") << file;
  }
  EXPECT_TRUE(fs::is_empty(root() / "work"));
  EXPECT_FALSE(statuses.empty());
  EXPECT_EQ(state.Status(), "");
}

}  // namespace
}  // namespace qorve
