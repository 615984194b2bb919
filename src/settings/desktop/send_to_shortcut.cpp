#include "settings/desktop/send_to_shortcut.h"

#include "platform/system/folders.h"
#include "settings/desktop/file_association.h"
#include "settings/desktop/key_file.h"

#include <cerrno>
#include <fstream>
#include <string>

namespace qorve {
namespace {

// The Send To folder, made when missing; empty when it cannot be had.
std::filesystem::path SendToFolder() {
  std::string folder;
  if (!SpecialFolderPath(nullptr, kFolderSendTo, folder)) return {};
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (!std::filesystem::is_directory(folder, error)) return {};
  return folder;
}

}  // namespace

int CreateShortcut(const std::filesystem::path& target, const std::filesystem::path& shortcutFile,
                   const std::filesystem::path& workingFolder) {
  KeyFile entry;
  entry.Set("Desktop Entry", "Type", "Application");
  entry.Set("Desktop Entry", "Version", "1.0");
  entry.Set("Desktop Entry", "Name", shortcutFile.stem().string());
  entry.Set("Desktop Entry", "Exec", ExecLineFor(target) + " %f");
  entry.Set("Desktop Entry", "Path", workingFolder.string());
  // The player has no icon file of its own; the theme's media player icon stands for it.
  entry.Set("Desktop Entry", "Icon", "multimedia-player");
  if (!entry.Write(shortcutFile)) return errno != 0 ? errno : EIO;
  return 0;
}

bool SendToShortcutExists() {
  std::string folder;
  if (!SpecialFolderPath(nullptr, kFolderSendTo, folder)) return false;
  const std::filesystem::path file = std::filesystem::path(folder) / kSendToShortcutName;
  std::error_code error;
  if (!std::filesystem::is_regular_file(file, error)) return false;
  return std::ifstream(file).good();
}

SendToResult AddSendToShortcut() {
  const std::filesystem::path folder = SendToFolder();
  if (folder.empty()) return SendToResult::kNoFolder;
  if (!PlayerIsInstalled()) return SendToResult::kFailed;
  errno = 0;
  return CreateShortcut(PlayerPath(), folder / kSendToShortcutName, PlayerPath().parent_path()) == 0
             ? SendToResult::kDone
             : SendToResult::kFailed;
}

SendToResult RemoveSendToShortcut() {
  std::string folder;
  if (!SpecialFolderPath(nullptr, kFolderSendTo, folder)) return SendToResult::kNoFolder;
  const std::filesystem::path file = std::filesystem::path(folder) / kSendToShortcutName;
  std::error_code error;
  const auto status = std::filesystem::symlink_status(file, error);
  if (status.type() == std::filesystem::file_type::not_found) return SendToResult::kDone;
  if (status.type() == std::filesystem::file_type::directory) return SendToResult::kFailed;
  std::filesystem::remove(file, error);
  return error ? SendToResult::kFailed : SendToResult::kDone;
}

}  // namespace qorve
