// downloader/: the archive-library downloader pakgrab.
//
// The downloader's job: for each library of the table, find its latest
// archive on the site, download it, unpack it and install its files; then the
// final steps and the summary. Runs on one worker thread; it talks to the
// dialog only through InstallState and the InstallUi calls.
#pragma once

#include <filesystem>
#include <string>

#include "downloader/install_state.h"
#include "downloader/library_table.h"
#include "downloader/site_hosts.h"

namespace qorve {

enum class BoxIcon { kNone, kError };

// What the worker asks of the dialog. Every call comes from the worker thread
// and returns when done (ShowMessage after the user closed the box).
class InstallUi {
 public:
  virtual ~InstallUi() = default;
  // A message box with an OK button owned by the dialog.
  virtual void ShowMessage(const std::string& text, const std::string& caption, BoxIcon icon) = 0;
  virtual void StartTimer() = 0;  // start refreshing the fields every 25 ms
  virtual void StopTimer() = 0;
  virtual void Close() = 0;  // the job is over: close the dialog
};

// Where the job works and installs.
struct InstallPlaces {
  SiteHosts hosts;
  std::filesystem::path workFolder;    // downloads and working files
  std::filesystem::path systemFolder;  // where the libraries are installed
};

// One library. 0 installed, -1 failed (no newer file, download or unpack
// failure). Kind kBuiltInLha gives 0 once downloaded, unless its archive was
// refused as too large or its member could not be written whole.
int InstallLibrary(const LibraryEntry& library, InstallState& state, const InstallPlaces& places);

// The whole job. When state.cancel is set it stops after the current step and
// shows no more boxes. Without both hosts it only says that no library site is
// configured (status text and a box) and closes, creating no folder.
void InstallWorker(InstallState& state, InstallUi& ui, const InstallPlaces& places);

}  // namespace qorve
