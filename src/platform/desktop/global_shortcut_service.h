// A desktop service that triggers a program's commands from keys typed in any
// window: the global shortcuts portal, or KDE's KGlobalAccel. A Wayland
// compositor tells a client of no key typed elsewhere; these services are
// how a program gets them there. Calls are asynchronous; answers come
// through the handlers on the thread that owns the service.
// User-interface thread only.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QDBusConnection;

namespace qorve {

struct GlobalShortcut {
  std::string id;
  std::string description;       // what it does, shown by the desktop
  std::string preferredTrigger;  // keysym name: "Escape", "p", "KP_Add"…; empty: none asked for
};

// What the desktop made of a registration: each shortcut's trigger as the
// desktop describes it. A shortcut the desktop left out, or listed with an
// empty trigger, has no key that triggers it.
struct BoundShortcut {
  std::string id;
  std::string triggerDescription;
};

struct GlobalShortcutHandlers {
  // The registration is done: what the desktop bound.
  std::function<void(const std::vector<BoundShortcut>&)> bound;
  // There is no such service, or it refused or failed: why, in a few words
  // (Japanese, for the log).
  std::function<void(const std::string&)> unavailable;
  // Something worth a line in the log that leaves the shortcuts working.
  std::function<void(const std::string&)> note;
  // A shortcut was pressed (true) or let go (false).
  std::function<void(const std::string& id, bool active)> activated;
};

class GlobalShortcutService {
 public:
  virtual ~GlobalShortcutService() = default;

  // The service's name for the log: "KGlobalAccel", "ポータル".
  virtual std::string Name() const = 0;

  // Registers `shortcuts`, replacing what an earlier call registered.
  virtual void Bind(std::vector<GlobalShortcut> shortcuts) = 0;
};

// Whether the desktop is KDE Plasma, by XDG_CURRENT_DESKTOP (a list such as
// "KDE" or "ubuntu:GNOME").
bool DesktopIsKde(const char* currentDesktop);

}  // namespace qorve
