// The desktop's global shortcuts through the XDG desktop portal
// (org.freedesktop.portal.GlobalShortcuts): a Wayland compositor tells a
// client of no key typed elsewhere, but one with this portal (KDE Plasma,
// GNOME 48 and later, Hyprland) lets a program register shortcuts and
// reports when one is pressed and let go, whichever window has the focus.
// All calls are asynchronous; answers come through the handlers on the
// thread that owns the object. User-interface thread only.
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <string>
#include <vector>

class QDBusPendingCallWatcher;

namespace qorve {

struct GlobalShortcut {
  std::string id;
  std::string description;       // what it does, shown by the desktop
  std::string preferredTrigger;  // "Escape", "p", "KP_Add"…; empty: none asked for
};

// What the desktop made of a registration: each shortcut's trigger as the
// desktop describes it (empty where the user has yet to give it one).
struct BoundShortcut {
  std::string id;
  std::string triggerDescription;
};

class GlobalShortcutsPortal final : public QObject {
  Q_OBJECT

 public:
  struct Handlers {
    // The shortcuts are registered (after the user agreed, where the desktop asks).
    std::function<void(const std::vector<BoundShortcut>&)> bound;
    // There is no such portal, or it refused or failed: why, in a few words
    // (Japanese, for the log).
    std::function<void(const std::string&)> unavailable;
    // A shortcut was pressed (true) or let go (false).
    std::function<void(const std::string& id, bool active)> activated;
  };

  GlobalShortcutsPortal(QDBusConnection bus, Handlers handlers);
  ~GlobalShortcutsPortal() override;

  // Registers `shortcuts` in a new session of the program's, closing the
  // session an earlier call made (a session binds its shortcuts only once).
  void Bind(std::vector<GlobalShortcut> shortcuts);

 private slots:
  void OnResponse(uint response, const QVariantMap& results);
  void OnActivated(const QDBusMessage& message);
  void OnDeactivated(const QDBusMessage& message);

 private:
  enum class Waiting { kNothing, kVersion, kSession, kBinding };

  void CreateSession();
  void SendBindShortcuts();
  // Calls `method` of the portal with a request token; the answer comes
  // through the Request object's Response signal.
  void CallWithRequest(const QString& method, QList<QVariant> arguments, const QString& token);
  void ListenForResponse(const QString& token);
  void StopListening();
  void CloseSession();
  void Fail(const std::string& why);
  void Activation(const QDBusMessage& message, bool active);

  QDBusConnection bus_;
  Handlers handlers_;
  std::vector<GlobalShortcut> shortcuts_;
  Waiting waiting_ = Waiting::kNothing;
  QString requestPath_;
  QString sessionPath_;
  unsigned tokens_ = 0;
  bool signalsConnected_ = false;
};

}  // namespace qorve
