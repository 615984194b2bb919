// The player's entry in the file manager's Send To menu: a desktop entry
// QORVE2.desktop in the Send To folder ($XDG_DATA_HOME/Thunar/sendto) that
// runs the player on the file sent. Plain C++; user-interface thread.
#pragma once

#include <filesystem>

namespace qorve {

inline constexpr char kSendToShortcutName[] = "QORVE2.desktop";

// Writes a desktop entry that starts `target` on the files given, in
// `workingFolder`, with a media player icon. 0 on success, else an errno value.
int CreateShortcut(const std::filesystem::path& target, const std::filesystem::path& shortcutFile,
                   const std::filesystem::path& workingFolder);

enum class SendToResult {
  kDone,
  kNoFolder,  // the Send To folder is unknown or cannot be made
  kFailed,    // the shortcut could not be written or deleted
};

// True when the shortcut file exists and can be read, wherever it points.
bool SendToShortcutExists();
// Creates the shortcut to the player, making the Send To folder when needed;
// a missing player is a failure.
SendToResult AddSendToShortcut();
// Deletes the shortcut; a shortcut already gone counts as deleted.
SendToResult RemoveSendToShortcut();

}  // namespace qorve
