// pakgrab: fetches the archiver libraries from the distribution site and
// installs them into the system folder, showing its progress in one dialog.
#include <QApplication>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "downloader/install_dialog.h"
#include "downloader/site_hosts.h"
#include "platform/folders.h"
#include "platform/qt/fonts.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  qorve::InstallJapaneseFontSubstitutes();

  // A private working folder: downloads never meet files of the user's.
  std::string pattern = (qorve::TempFolder() / "pakgrab-XXXXXX").string();
  const char* made = mkdtemp(pattern.data());
  qorve::InstallPlaces places{qorve::LoadSiteHosts(), made ? std::filesystem::path(made) : std::filesystem::path(),
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
