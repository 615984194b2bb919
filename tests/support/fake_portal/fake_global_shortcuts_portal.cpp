// A stand-in for the desktop's global shortcuts portal on a private session
// bus, for tests: it owns org.freedesktop.portal.Desktop, answers
// CreateSession and BindShortcuts as a portal does (each shortcut's trigger
// is the one the program preferred), and reports on standard output:
//   ready
//   bound SESSION ID TRIGGER DESCRIPTION   (one line per shortcut)
//   closed SESSION
// Lines on standard input drive it:
//   press ID | release ID   emit Activated / Deactivated in the last session
//   hold ID MS              press, and release MS milliseconds later
// Options: --decline answers BindShortcuts with "cancelled by the user";
// --without-portal owns the service but offers no global shortcuts;
// --bind-only ID,ID… (or "none") leaves every other shortcut out of the
// answer, as a desktop does with shortcuts it gave no key;
// --notifications also owns org.freedesktop.Notifications and reports each
// notification as "notify SUMMARY | BODY".
#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <unistd.h>

#include <cstdio>
#include <optional>
#include <string>

namespace {

struct Shortcut {
  QString id;
  QVariantMap properties;
};
using Shortcuts = QList<Shortcut>;

}  // namespace

Q_DECLARE_METATYPE(Shortcut)
Q_DECLARE_METATYPE(Shortcuts)

namespace {

QDBusArgument& operator<<(QDBusArgument& argument, const Shortcut& shortcut) {
  argument.beginStructure();
  argument << shortcut.id << shortcut.properties;
  argument.endStructure();
  return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, Shortcut& shortcut) {
  argument.beginStructure();
  argument >> shortcut.id >> shortcut.properties;
  argument.endStructure();
  return argument;
}

const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");

void Say(const QString& line) {
  std::printf("%s\n", line.toUtf8().constData());
  std::fflush(stdout);
}

class Session final : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Session")

 public:
  explicit Session(QString path) : path_(std::move(path)) {}

 public slots:
  void Close() {
    Say(QStringLiteral("closed ") + path_);
    QDBusConnection::sessionBus().unregisterObject(path_);
    deleteLater();
  }

 private:
  QString path_;
};

class Portal final : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.GlobalShortcuts")
  Q_PROPERTY(uint version READ version)

 public:
  Portal(bool decline, std::optional<QStringList> bindOnly) : decline_(decline), bindOnly_(std::move(bindOnly)) {}
  uint version() const { return 1; }

  void Emit(const QString& signal, const QString& id) {
    QDBusMessage message = QDBusMessage::createSignal(kPath, kInterface, signal);
    message << QVariant::fromValue(QDBusObjectPath(lastSession_)) << id << qulonglong{0} << QVariantMap();
    QDBusConnection::sessionBus().send(message);
  }

 public slots:
  QDBusObjectPath CreateSession(const QVariantMap& options) {
    const QString request = RequestPath(options);
    const QString session =
        kPath + QStringLiteral("/session/") + Sender() + QLatin1Char('/') + options.value("session_handle_token").toString();
    QDBusConnection::sessionBus().registerObject(session, new Session(session), QDBusConnection::ExportAllSlots);
    lastSession_ = session;
    QVariantMap results;
    results.insert(QStringLiteral("session_handle"), session);
    Respond(request, 0, results);
    return QDBusObjectPath(request);
  }

  QDBusObjectPath BindShortcuts(const QDBusObjectPath& session, const Shortcuts& shortcuts, const QString&,
                                const QVariantMap& options) {
    const QString request = RequestPath(options);
    if (decline_) {
      Respond(request, 1, {});
      return QDBusObjectPath(request);
    }
    Shortcuts bound;
    for (const Shortcut& shortcut : shortcuts) {
      const QString trigger = shortcut.properties.value(QStringLiteral("preferred_trigger")).toString();
      if (bindOnly_ && !bindOnly_->contains(shortcut.id)) continue;
      Say(QStringLiteral("bound %1 %2 %3 %4")
              .arg(session.path(), shortcut.id, trigger.isEmpty() ? QStringLiteral("-") : trigger,
                   shortcut.properties.value(QStringLiteral("description")).toString()));
      QVariantMap properties;
      properties.insert(QStringLiteral("description"), shortcut.properties.value(QStringLiteral("description")));
      properties.insert(QStringLiteral("trigger_description"), trigger);
      bound.append({shortcut.id, properties});
    }
    QVariantMap results;
    results.insert(QStringLiteral("shortcuts"), QVariant::fromValue(bound));
    Respond(request, 0, results);
    return QDBusObjectPath(request);
  }

 private:
  QString Sender() const { return message().service().mid(1).replace(QLatin1Char('.'), QLatin1Char('_')); }

  QString RequestPath(const QVariantMap& options) const {
    return kPath + QStringLiteral("/request/") + Sender() + QLatin1Char('/') + options.value("handle_token").toString();
  }

  // The answer follows the method's reply, as a portal's does.
  static void Respond(const QString& request, uint response, const QVariantMap& results) {
    QTimer::singleShot(0, [request, response, results] {
      QDBusMessage signal =
          QDBusMessage::createSignal(request, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
      signal << response << results;
      QDBusConnection::sessionBus().send(signal);
    });
  }

  bool decline_;
  std::optional<QStringList> bindOnly_;
  QString lastSession_;
};

class Notifications final : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

 public slots:
  uint Notify(const QString&, uint, const QString&, const QString& summary, const QString& body, const QStringList&,
              const QVariantMap&, int) {
    Say(QStringLiteral("notify ") + summary + QStringLiteral(" | ") + body);
    return ++last_;
  }

 private:
  uint last_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  const QStringList arguments = QCoreApplication::arguments();
  qDBusRegisterMetaType<Shortcut>();
  qDBusRegisterMetaType<Shortcuts>();
  QDBusConnection bus = QDBusConnection::sessionBus();
  std::optional<QStringList> bindOnly;
  const qsizetype only = arguments.indexOf(QStringLiteral("--bind-only"));
  if (only > 0 && only + 1 < arguments.size()) bindOnly = arguments[only + 1].split(QLatin1Char(','));
  Portal portal(arguments.contains(QStringLiteral("--decline")), bindOnly);
  Notifications notifications;
  if (arguments.contains(QStringLiteral("--notifications"))) {
    bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &notifications, QDBusConnection::ExportAllSlots);
    bus.registerService(QStringLiteral("org.freedesktop.Notifications"));
  }
  if (!arguments.contains(QStringLiteral("--without-portal"))) {
    bus.registerObject(kPath, &portal, QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties);
  }
  if (!bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop"))) {
    std::fprintf(stderr, "fake portal: the service name is taken or there is no session bus\n");
    return 1;
  }
  QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
  std::string pending;
  QObject::connect(&input, &QSocketNotifier::activated, [&] {
    char buffer[256];
    const ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
    if (got <= 0) {
      input.setEnabled(false);
      return;
    }
    pending.append(buffer, static_cast<size_t>(got));
    for (size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
      const QStringList words = QString::fromStdString(pending.substr(0, end)).split(QLatin1Char(' '), Qt::SkipEmptyParts);
      if (words.size() >= 2 && words[0] == QLatin1String("press")) portal.Emit(QStringLiteral("Activated"), words[1]);
      if (words.size() >= 2 && words[0] == QLatin1String("release")) portal.Emit(QStringLiteral("Deactivated"), words[1]);
      if (words.size() >= 3 && words[0] == QLatin1String("hold")) {
        portal.Emit(QStringLiteral("Activated"), words[1]);
        QTimer::singleShot(words[2].toInt(), [&portal, id = words[1]] { portal.Emit(QStringLiteral("Deactivated"), id); });
      }
    }
  });
  Say(QStringLiteral("ready"));
  return application.exec();
}

#include "fake_global_shortcuts_portal.moc"
