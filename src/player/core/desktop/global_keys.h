// The player's commands as the desktop's global shortcuts, for Wayland
// sessions, where the X server (Xwayland) hears keys only while one of its
// windows has the keyboard and a native client hears none typed elsewhere.
// Registers the KEYSET keys with the desktop's shortcut service (KDE's
// KGlobalAccel on KDE Plasma, else the global shortcuts portal) and turns
// each activation into a press of the command's key in the polled input, so
// the controller polls them as any key. When the settings program binds
// other keys, the registration follows. The log tells which commands got a
// key and which did not; where none did, the user is told once per desktop,
// by a desktop notification, how to bind the commands to keys there.
// User-interface thread only.
#pragma once

#include "platform/desktop/global_shortcut_service.h"
#include "platform/input/input.h"
#include "player/core/desktop/keyset_shortcuts.h"

#include <QDBusConnection>
#include <QFileSystemWatcher>
#include <QObject>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace qorve {

// The desktop the player runs on, as start-up finds it.
struct GlobalKeysDesktop {
  std::string name;                  // XDG_CURRENT_DESKTOP ("KDE", "GNOME"…)
  std::filesystem::path noticeFile;  // remembers the desktops already told; empty: tell in every run
  bool english = false;              // the notice in English
};

class GlobalKeys final : public QObject {
 public:
  GlobalKeys(InputPoller& input, QDBusConnection bus, GlobalKeysDesktop desktop = {});
  ~GlobalKeys() override;

  // Registers the keys of the program-wide settings and watches the
  // settings file from now on.
  void Start();

 private:
  void Register(std::vector<KeysetShortcut> shortcuts);
  void SettingsFolderChanged();
  void Bound(const std::vector<BoundShortcut>& bound);
  void Unavailable(const std::string& why);
  void Activated(const std::string& id, bool active);
  void UsePortal();
  void TellTheUser();

  InputPoller& input_;
  QDBusConnection bus_;
  GlobalKeysDesktop desktop_;
  GlobalShortcutHandlers handlers_;
  std::unique_ptr<GlobalShortcutService> service_;
  bool onPortal_ = false;
  QFileSystemWatcher watcher_;
  std::vector<KeysetShortcut> registered_;
  bool toldUnavailable_ = false;
};

}  // namespace qorve
