#include "platform/desktop/desktop_notification.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QStringList>
#include <QVariantMap>

namespace qorve {

void ShowDesktopNotice(QDBusConnection bus, const DesktopNotice& notice, QObject* context,
                       std::function<void(bool shown, const std::string& why)> done) {
  if (!bus.isConnected()) {
    if (done) done(false, "セッションバスがない");
    return;
  }
  QDBusMessage notify = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
      QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
  QVariantMap hints;
  hints.insert(QStringLiteral("desktop-entry"), QString::fromStdString(notice.desktopEntry));
  // Arguments: application, notification it replaces (none), icon, summary,
  // body, actions, hints, and how long it shows (-1: as the server likes).
  notify << QString::fromStdString(notice.appName) << 0u << QString::fromStdString(notice.desktopEntry)
         << QString::fromStdString(notice.summary) << QString::fromStdString(notice.body) << QStringList() << hints
         << -1;
  auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(notify), context);
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                   [done = std::move(done)](QDBusPendingCallWatcher* call) {
                     call->deleteLater();
                     if (!done) return;
                     if (call->isError()) {
                       done(false, call->error().message().toStdString());
                     } else {
                       done(true, {});
                     }
                   });
}

}  // namespace qorve
