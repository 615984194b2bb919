// A private desktop for association tests: the XDG folders of a TempHome, the
// system's MIME database without its applications, no desktop-specific lists, and the program folder
// in the temporary folder so that the player path is known.
#pragma once

#include "platform/system/folders.h"
#include "support/scoped_env.h"
#include "support/temp_home.h"

#include <cstdio>
#include <memory>
#include <string>

namespace qorve::test {

class AssociationHome : public TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    // The system's MIME database, but none of the system's applications.
    std::filesystem::create_directories(root() / "share");
    std::filesystem::create_directory_symlink("/usr/share/mime", root() / "share" / "mime");
    env_.Set("XDG_DATA_DIRS", (root() / "share").c_str());
    env_.Set("XDG_CONFIG_DIRS", (root() / "etc-xdg").c_str());
    env_.Set("XDG_CURRENT_DESKTOP", nullptr);
    env_.Set("DESKTOP_SESSION", nullptr);
    env_.Set("KDE_FULL_SESSION", nullptr);
    env_.Set("GNOME_DESKTOP_SESSION_ID", nullptr);
    SetProgramFolderForTesting(root() / "bin");
    // xdg-mime counts only applications whose program exists.
    WriteFile(root() / "bin" / "qorve", "#!/bin/sh\n");
    std::filesystem::permissions(root() / "bin" / "qorve", std::filesystem::perms::owner_all);
  }
  void TearDown() override {
    SetProgramFolderForTesting({});
    TempHome::TearDown();
  }

  std::filesystem::path dataHome() const { return root() / "home" / ".local" / "share"; }
  std::filesystem::path configHome() const { return root() / "home" / ".config"; }

  // Installs another program's desktop entry for `mimeType` and makes it the default.
  void InstallOtherPlayer(const std::string& mimeType) {
    WriteFile(dataHome() / "applications" / "other.desktop",
              "[Desktop Entry]\nType=Application\nName=Other\nExec=/opt/other/play %U\nMimeType=" + mimeType + ";\n");
    WriteFile(configHome() / "mimeapps.list", "[Default Applications]\n" + mimeType + "=other.desktop;\n");
  }

  // The entry a package installs into the system's applications folder,
  // starting `program`.
  void InstallPackagedEntry(const std::filesystem::path& program, const std::string& mimeTypes) {
    WriteFile(root() / "share" / "applications" / "qorve.desktop",
              "[Desktop Entry]\nType=Application\nName=QORVE\nExec=" + program.string() + " %f\nMimeType=" +
                  mimeTypes + "\nCategories=AudioVideo;Player;\n");
  }

  // What earlier versions left after registering `mimeTypes`: a hidden
  // qorve.desktop in the user's folder and defaults naming it.
  void WriteOldHiddenEntry(const std::string& mimeType) {
    WriteFile(dataHome() / "applications" / "qorve.desktop",
              "[Desktop Entry]\nType=Application\nName=QORVE\nGenericName=Media Player\nExec=" +
                  (root() / "bin" / "qorve").string() + " %f\nTerminal=false\nNoDisplay=true\nMimeType=" +
                  mimeType + ";\n");
    WriteFile(configHome() / "mimeapps.list", "[Default Applications]\n" + mimeType +
                                                  "=qorve.desktop;other.desktop;\n\n[Added Associations]\n" +
                                                  mimeType + "=qorve.desktop;\n");
  }

  // What `xdg-mime query default TYPE` answers in this desktop ("" when xdg-mime is missing).
  static std::string XdgMimeDefault(const std::string& mimeType) {
    std::string answer;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(("xdg-mime query default " + mimeType + " 2>/dev/null").c_str(), "r"),
                                               pclose);
    if (!pipe) return answer;
    char buffer[256];
    while (fgets(buffer, sizeof buffer, pipe.get())) answer += buffer;
    while (!answer.empty() && answer.back() == '\n') answer.pop_back();
    return answer;
  }

 private:
  ScopedEnv env_;
};

}  // namespace qorve::test
