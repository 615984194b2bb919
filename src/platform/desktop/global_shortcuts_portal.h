// The desktop's global shortcuts through the XDG desktop portal
// (org.freedesktop.portal.GlobalShortcuts): KDE Plasma, GNOME 48 and later,
// Hyprland. A program outside a sandbox first tells the portal which
// installed desktop entry it is (org.freedesktop.host.portal.Registry, where
// the portal has it); the desktop names the program by that entry when it
// asks the user. User-interface thread only.
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <string>
#include <vector>

#include "platform/desktop/global_shortcut_service.h"

class QDBusPendingCallWatcher;

namespace qorve {

class GlobalShortcutsPortal final : public QObject, public GlobalShortcutService {
  Q_OBJECT

 public:
  // `appId`: the program's desktop entry without ".desktop".
  GlobalShortcutsPortal(QDBusConnection bus, std::string appId, GlobalShortcutHandlers handlers);
  ~GlobalShortcutsPortal() override;

  std::string Name() const override { return "ポータル"; }
  // Registers `shortcuts` in a new session of the program's, closing the
  // session an earlier call made (a session binds its shortcuts only once).
  void Bind(std::vector<GlobalShortcut> shortcuts) override;

 private slots:
  void OnResponse(uint response, const QVariantMap& results);
  void OnActivated(const QDBusMessage& message);
  void OnDeactivated(const QDBusMessage& message);

 private:
  enum class Waiting { kNothing, kRegistry, kVersion, kSession, kBinding };

  void AskVersion();
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
  std::string appId_;
  GlobalShortcutHandlers handlers_;
  std::vector<GlobalShortcut> shortcuts_;
  Waiting waiting_ = Waiting::kNothing;
  QString requestPath_;
  QString sessionPath_;
  unsigned tokens_ = 0;
  bool signalsConnected_ = false;
  bool registered_ = false;
};

}  // namespace qorve
