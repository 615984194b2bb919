// platform/system/: profile, registry, folders, launch, modules, clock, text.
//
// Where the programs find themselves and the user's folders: the program
// folder, the settings folder, the login name, the temporary folder and the two
// shell folders the system uses (desktop and Send To).
#pragma once

#include <filesystem>
#include <string>

namespace qorve {

// Folder of the running executable (shipped read-only data and the sibling
// programs live there).
std::filesystem::path ProgramFolder();
// Lets tests point the program folder elsewhere; an empty path restores it.
void SetProgramFolderForTesting(const std::filesystem::path& folder);

// $QORVE_HOME, else $XDG_CONFIG_HOME/qorve, else ~/.config/qorve. Looked up anew
// on every call; not created here (writers create it when they first write).
std::filesystem::path SettingsFolder();

// The user's login name (the account the process runs as).
std::string LoginName();

std::filesystem::path HomeFolder();
// $XDG_DATA_HOME, else ~/.local/share.
std::filesystem::path DataHomeFolder();
// $XDG_CONFIG_HOME, else ~/.config.
std::filesystem::path ConfigHomeFolder();
// $TMPDIR, else /tmp.
std::filesystem::path TempFolder();

// Shell folder ids the system asks for.
constexpr int kFolderDesktop = 0x0000;
constexpr int kFolderSendTo = 0x0009;

// Desktop: XDG_DESKTOP_DIR of $XDG_CONFIG_HOME/user-dirs.dirs, else ~/Desktop.
// Send To: $XDG_DATA_HOME/Thunar/sendto. Returns 1 and sets `out`, or 0 for an
// unknown id or when no home folder is known. The owner window is unused.
int SpecialFolderPath(const void* ownerWindow, int folderId, std::string& out);

}  // namespace qorve
