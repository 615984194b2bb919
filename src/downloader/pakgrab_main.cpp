// pakgrab: fetches the archiver libraries from the distribution site and
// installs them into the system folder, showing its progress in one dialog.
#include <QApplication>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "downloader/install_dialog.h"
#include "downloader/site_hosts.h"
#include "platform/qt/fonts.h"
#include "platform/qt/window_system_choice.h"
#include "platform/system/folders.h"

int main(int argc, char** argv) {
  qorve::ChooseWindowSystem();
  QApplication application(argc, argv);
  qorve::InstallJapaneseFontSubstitutes();

  // A private working folder: downloads never meet files of the user's. With
  // no site to fetch from there is nothing to download, and no folder is made.
  const qorve::SiteHosts hosts = qorve::LoadSiteHosts();
  std::string pattern = (qorve::TempFolder() / "pakgrab-XXXXXX").string();
  const char* made = hosts.IsConfigured() ? mkdtemp(pattern.data()) : nullptr;
  qorve::InstallPlaces places{hosts, made ? std::filesystem::path(made) : std::filesystem::path(),
                              qorve::LibrarySystemFolder()};
  if (places.workFolder.empty()) places.workFolder = std::filesystem::current_path();
  {
    qorve::InstallDialog dialog(places);
    dialog.exec();
  }
  if (made) {
    std::error_code ignored;
    std::filesystem::remove_all(made, ignored);
  }
  return 0;
}
