// The player's commands as the desktop's global shortcuts, for Wayland
// sessions, where the X server (Xwayland) hears keys only while one of its
// windows has the keyboard and a native client hears none typed elsewhere.
// Registers the KEYSET keys with the desktop's global shortcuts portal and
// turns each activation into a press of the command's key in the polled
// input, so the controller polls them as any key. When the settings program
// binds other keys, the registration follows. Without the portal it says
// once in the log which keys work only while a window of the player's has
// the keyboard. User-interface thread only.
#pragma once

#include "platform/input/input.h"
#include "platform/qt/global_shortcuts_portal.h"
#include "player/core/desktop/keyset_shortcuts.h"

#include <QFileSystemWatcher>
#include <QObject>

#include <vector>

namespace qorve {

class GlobalKeys final : public QObject {
 public:
  GlobalKeys(InputPoller& input, QDBusConnection bus);
  ~GlobalKeys() override;

  // Registers the keys of the program-wide settings and watches the
  // settings file from now on.
  void Start();

 private:
  void Register(std::vector<KeysetShortcut> shortcuts);
  void SettingsFolderChanged();
  void Activated(const std::string& id, bool active);

  InputPoller& input_;
  GlobalShortcutsPortal portal_;
  QFileSystemWatcher watcher_;
  std::vector<KeysetShortcut> registered_;
  bool toldUnavailable_ = false;
};

}  // namespace qorve
