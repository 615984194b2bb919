#include "downloader/install_worker.h"

#include "downloader/archiver_extract.h"
#include "downloader/download_file.h"
#include "downloader/find_latest_file.h"
#include "downloader/install_cabinet.h"
#include "downloader/install_estimate.h"
#include "downloader/lha/lha_extract.h"
#include "downloader/library_copy.h"
#include "platform/system/clock.h"

namespace qorve {
namespace {

constexpr const char* kConfirmText =
    "これから、各種解凍ＤＬＬのダウンロードとインストールを開始します。\n"
    "インターネットに接続し、他のアーカイバソフトを全て終了させてください。";
constexpr const char* kConfirmCaption = "準備ＯＫ？";
constexpr const char* kSummaryText = "一部インストールに失敗したＤＬＬがあります。";
constexpr const char* kSummaryCaption = "一部失敗";
constexpr const char* kNoSiteStatus = "配布サイトが設定されていません";
constexpr const char* kNoSiteText =
    "アーカイバＤＬＬの配布サイトが設定されていません。\n"
    "設定ファイルの [PAKGRAB] に PAGEHOST と FILEHOST を書いてください。";
constexpr uint32_t kUpToDatePauseMs = 1000;

std::string StatusText(const char* name, const char* what) { return std::string(name) + " " + what; }

// Sleeps, waking early when the job is cancelled.
void Pause(const InstallState& state, uint32_t ms) {
  for (uint32_t slept = 0; slept < ms && !state.cancel; slept += 10) SleepMs(10);
}

void Remove(const std::filesystem::path& path) {
  std::error_code ignored;
  std::filesystem::remove(path, ignored);
}

}  // namespace

int InstallLibrary(const LibraryEntry& library, InstallState& state, const InstallPlaces& places) {
  const InternetHandlePtr internet = OpenInternet();
  const std::string pageUrl = SiteUrl(places.hosts.pageHost, library.page);
  state.SetStatus(StatusText(library.name, "の最新版調査中"));
  std::string fileName;
  if (FindLatestFile(internet.get(), pageUrl, places.workFolder, fileName, &state.cancel) != 0) {
    state.SetStatus(StatusText(library.name, "は最新です。"));
    Pause(state, kUpToDatePauseMs);
    return -1;
  }
  const std::string fileUrl = SiteUrl(places.hosts.fileHost, EscapeUrlPathPart(fileName));
  const std::filesystem::path downloaded = places.workFolder / fileName;
  state.SetStatus(StatusText(library.name, "ダウンロード中"));
  if (DownloadFile(internet.get(), fileUrl, downloaded, &state.downloadTotal, &state.downloadReceived,
                   &state.cancel) != kDownloadDone) {
    return -1;
  }
  state.SetStatus(StatusText(library.name, "インストール中"));
  int result = 0;
  switch (library.kind) {
    case LibraryKind::kArchive:
      result = ExtractWithArchiver(downloaded, places.systemFolder);
      break;
    case LibraryKind::kCabinet:
      result = InstallCabinet(downloaded, places.workFolder, places.systemFolder);
      break;
    case LibraryKind::kBuiltInLha:
      // An archive without the member is no failure here: the missing library
      // shows when the later archives need it. One refused as too large, or
      // not written whole, is.
      if (LhaExtract(downloaded, "UNLHA32.DLL", places.workFolder) == kLhaRefused) result = -1;
      break;
  }
  Remove(downloaded);
  return result;
}

void InstallWorker(InstallState& state, InstallUi& ui, const InstallPlaces& places) {
  if (!places.hosts.IsConfigured()) {
    // Nothing to fetch from: say so and leave every folder as it was.
    state.startTime = TimeGetTime();
    state.SetStatus(kNoSiteStatus);
    ui.StartTimer();
    if (!state.cancel) ui.ShowMessage(kNoSiteText, "", BoxIcon::kError);
    ui.StopTimer();
    ui.Close();
    return;
  }
  const InternetHandlePtr internet = OpenInternet();
  std::error_code ignored;
  std::filesystem::create_directories(places.systemFolder, ignored);
  std::filesystem::create_directories(places.workFolder, ignored);
  if (!state.cancel) ui.ShowMessage(kConfirmText, kConfirmCaption, BoxIcon::kNone);

  ui.StartTimer();
  state.SetStatus("インターネットに接続中");
  state.count = 0;
  state.estimate = 0;
  state.startTime = TimeGetTime();
  int failures = 0;
  for (const LibraryEntry& library : LibraryTable()) {
    if (state.cancel) break;
    if (InstallLibrary(library, state, places) == -1) {
      ++failures;
      if (!state.cancel) ui.ShowMessage(library.failureText, "", BoxIcon::kError);
    }
    const int count = ++state.count;
    state.estimate = EstimateAfter(count, TimeGetTime() - state.startTime);
  }

  Remove(places.workFolder / "CAB32.DLL");
  Remove(places.workFolder / "CAB32.CAB");
  CopyLibraryWhole(places.workFolder / "UNLHA32.DLL", places.systemFolder / "UNLHA32.DLL", false);
  Remove(places.workFolder / "UNLHA32.DLL");

  state.SetStatus("");
  if (failures > 0 && !state.cancel) ui.ShowMessage(kSummaryText, kSummaryCaption, BoxIcon::kNone);
  state.reserved = 0;
  ui.StopTimer();
  ui.Close();
}

}  // namespace qorve
