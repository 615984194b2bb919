#include "player/core/desktop/global_keys.h"

#include "common/keyset_commands.h"
#include "common/log.h"
#include "common/settings.h"
#include "platform/system/profile.h"

#include <filesystem>

namespace qorve {
namespace {

// The KEYSET keys the settings file holds now, over the program-wide values.
Settings KeysInSettingsFile() {
  Settings settings = ProgramSettings();
  const std::filesystem::path file = SettingsFilePath();
  for (const KeysetCommand& command : KeysetCommands()) {
    settings.*command.key = GetPrivateProfileInt("KEYSET", command.name, settings.*command.key, file);
  }
  return settings;
}

bool SameTriggers(const std::vector<KeysetShortcut>& a, const std::vector<KeysetShortcut>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].id != b[i].id || a[i].trigger != b[i].trigger) return false;
  }
  return true;
}

}  // namespace

GlobalKeys::GlobalKeys(InputPoller& input, QDBusConnection bus)
    : input_(input),
      portal_(std::move(bus),
              {.bound =
                   [this](const std::vector<BoundShortcut>& bound) {
                     std::string text;
                     for (const BoundShortcut& shortcut : bound) {
                       for (const KeysetShortcut& ours : registered_) {
                         if (ours.id != shortcut.id) continue;
                         if (!text.empty()) text += ' ';
                         text += ours.description + "=" +
                                 (shortcut.triggerDescription.empty() ? "-" : shortcut.triggerDescription);
                       }
                     }
                     Log("グローバルショートカット " + text, static_cast<long>(bound.size()));
                   },
               .unavailable =
                   [this](const std::string& why) {
                     if (toldUnavailable_) return;
                     toldUnavailable_ = true;
                     Log("グローバルショートカットなし (" + why +
                             ") ウィンドウにキーボードがある間だけ効くキー: " + DescribeShortcuts(registered_),
                         0);
                   },
               .activated = [this](const std::string& id, bool active) { Activated(id, active); }}) {
  connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this] { SettingsFolderChanged(); });
}

GlobalKeys::~GlobalKeys() { input_.ReleaseFed(FeedSource::kShortcut); }

void GlobalKeys::Start() {
  Register(KeysetShortcuts(ProgramSettings()));
  // The settings program replaces the file as a whole; its folder tells. The
  // folder is made if need be (the player writes its settings there anyway).
  const std::filesystem::path folder = SettingsFilePath().parent_path();
  if (folder.empty()) return;
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  watcher_.addPath(QString::fromStdString(folder.string()));
}

void GlobalKeys::Register(std::vector<KeysetShortcut> shortcuts) {
  input_.ReleaseFed(FeedSource::kShortcut);
  registered_ = std::move(shortcuts);
  std::vector<GlobalShortcut> asked;
  for (const KeysetShortcut& shortcut : registered_) asked.push_back({shortcut.id, shortcut.description, shortcut.trigger});
  portal_.Bind(std::move(asked));
}

void GlobalKeys::SettingsFolderChanged() {
  std::vector<KeysetShortcut> wanted = KeysetShortcuts(KeysInSettingsFile());
  if (!SameTriggers(wanted, registered_)) Register(std::move(wanted));
}

void GlobalKeys::Activated(const std::string& id, bool active) {
  // A shortcut stands for its command: it presses the key the controller
  // polls for that command, whichever key the desktop triggers it with.
  for (const KeysetShortcut& shortcut : registered_) {
    const int key = ProgramSettings().*shortcut.key;
    if (shortcut.id == id && IsKeyboardKey(key)) input_.FeedKey(key, active, FeedSource::kShortcut);
  }
}

}  // namespace qorve
