#include "platform/desktop/global_shortcuts_portal.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

namespace qorve {
namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString kRequestInterface = QStringLiteral("org.freedesktop.portal.Request");

// One element of the portal's a(sa{sv}) lists of shortcuts.
struct PortalShortcut {
  QString id;
  QVariantMap properties;
};
using PortalShortcuts = QList<PortalShortcut>;

}  // namespace
}  // namespace qorve

Q_DECLARE_METATYPE(qorve::PortalShortcut)
Q_DECLARE_METATYPE(qorve::PortalShortcuts)

namespace qorve {
namespace {

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcut& shortcut) {
  argument.beginStructure();
  argument << shortcut.id << shortcut.properties;
  argument.endStructure();
  return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcut& shortcut) {
  argument.beginStructure();
  argument >> shortcut.id >> shortcut.properties;
  argument.endStructure();
  return argument;
}

void RegisterTypes() {
  static const bool registered = [] {
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<PortalShortcuts>();
    return true;
  }();
  (void)registered;
}

// A session handle comes as an object path, or from some portals as a string.
QString PathOf(const QVariant& value) {
  if (value.metaType() == QMetaType::fromType<QDBusObjectPath>()) {
    return value.value<QDBusObjectPath>().path();
  }
  return value.toString();
}

PortalShortcuts ShortcutsOf(const QVariant& value) {
  PortalShortcuts shortcuts;
  if (value.canConvert<QDBusArgument>()) value.value<QDBusArgument>() >> shortcuts;
  return shortcuts;
}

std::string Text(const QString& text) { return text.toStdString(); }

}  // namespace

GlobalShortcutsPortal::GlobalShortcutsPortal(QDBusConnection bus, std::string appId, GlobalShortcutHandlers handlers)
    : bus_(std::move(bus)), appId_(std::move(appId)), handlers_(std::move(handlers)) {
  RegisterTypes();
}

GlobalShortcutsPortal::~GlobalShortcutsPortal() {
  StopListening();
  CloseSession();
}

void GlobalShortcutsPortal::Bind(std::vector<GlobalShortcut> shortcuts) {
  shortcuts_ = std::move(shortcuts);
  StopListening();
  CloseSession();
  if (!bus_.isConnected()) {
    Fail("セッションバスがない");
    return;
  }
  if (registered_ || appId_.empty()) {
    AskVersion();
    return;
  }
  // The registration comes before any other call of the connection's to the
  // portal, which would otherwise fix the program's identity as unknown. A
  // portal without the registry (before 1.19) names a program outside a
  // sandbox by the systemd scope the desktop started it in, if any.
  waiting_ = Waiting::kRegistry;
  QDBusMessage reg = QDBusMessage::createMethodCall(kService, kPath, QStringLiteral("org.freedesktop.host.portal.Registry"),
                                                    QStringLiteral("Register"));
  reg << QString::fromStdString(appId_) << QVariantMap();
  auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(reg), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
    call->deleteLater();
    if (waiting_ != Waiting::kRegistry) return;
    registered_ = true;
    const QDBusError error = call->error();
    // A portal without the registry, or no portal at all (which the next
    // call reports), is no news here.
    const bool noRegistry = error.type() == QDBusError::UnknownInterface || error.type() == QDBusError::UnknownMethod ||
                            error.type() == QDBusError::ServiceUnknown;
    if (call->isError() && !noRegistry) {
      // The shortcuts may still work under the name the portal finds itself.
      if (handlers_.note) handlers_.note("ポータルへのアプリ登録失敗: " + Text(error.message()));
    }
    AskVersion();
  });
}

void GlobalShortcutsPortal::AskVersion() {
  // The portal service answers for every portal; whether this one exists is
  // told by its version property.
  waiting_ = Waiting::kVersion;
  QDBusMessage ask = QDBusMessage::createMethodCall(kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                    QStringLiteral("Get"));
  ask << kInterface << QStringLiteral("version");
  auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(ask), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
    call->deleteLater();
    if (waiting_ != Waiting::kVersion) return;
    if (call->isError()) {
      Fail("デスクトップにグローバルショートカットのポータルがない: " + Text(call->error().name()));
      return;
    }
    CreateSession();
  });
}

void GlobalShortcutsPortal::CreateSession() {
  if (!signalsConnected_) {
    // Whole messages: the arguments are read here, whatever types the
    // portal gives the ones the program does not use.
    bus_.connect(kService, kPath, kInterface, QStringLiteral("Activated"), this, SLOT(OnActivated(QDBusMessage)));
    bus_.connect(kService, kPath, kInterface, QStringLiteral("Deactivated"), this, SLOT(OnDeactivated(QDBusMessage)));
    signalsConnected_ = true;
  }
  waiting_ = Waiting::kSession;
  const QString token = QStringLiteral("qorve%1").arg(++tokens_);
  QVariantMap options;
  options.insert(QStringLiteral("handle_token"), token);
  options.insert(QStringLiteral("session_handle_token"), token);
  CallWithRequest(QStringLiteral("CreateSession"), {options}, token);
}

void GlobalShortcutsPortal::SendBindShortcuts() {
  waiting_ = Waiting::kBinding;
  PortalShortcuts list;
  for (const GlobalShortcut& shortcut : shortcuts_) {
    QVariantMap properties;
    properties.insert(QStringLiteral("description"), QString::fromStdString(shortcut.description));
    if (!shortcut.preferredTrigger.empty()) {
      properties.insert(QStringLiteral("preferred_trigger"), QString::fromStdString(shortcut.preferredTrigger));
    }
    list.append({QString::fromStdString(shortcut.id), properties});
  }
  const QString token = QStringLiteral("qorve%1").arg(++tokens_);
  QVariantMap options;
  options.insert(QStringLiteral("handle_token"), token);
  CallWithRequest(QStringLiteral("BindShortcuts"),
                  {QVariant::fromValue(QDBusObjectPath(sessionPath_)), QVariant::fromValue(list), QString(), options},
                  token);
}

void GlobalShortcutsPortal::CallWithRequest(const QString& method, QList<QVariant> arguments, const QString& token) {
  // Listening starts before the call, so that an answer sent at once is not
  // missed.
  ListenForResponse(token);
  QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
  call.setArguments(arguments);
  const Waiting step = waiting_;
  auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, step, method](QDBusPendingCallWatcher* call) {
    call->deleteLater();
    if (waiting_ != step) return;
    QDBusPendingReply<QDBusObjectPath> reply = *call;
    if (reply.isError()) {
      Fail(Text(method) + " 失敗: " + Text(reply.error().message()));
      return;
    }
    // Older portals name the request object otherwise than the token says.
    const QString path = reply.value().path();
    if (path != requestPath_) {
      StopListening();
      requestPath_ = path;
      bus_.connect(kService, requestPath_, kRequestInterface, QStringLiteral("Response"), this,
                   SLOT(OnResponse(uint, QVariantMap)));
    }
  });
}

void GlobalShortcutsPortal::ListenForResponse(const QString& token) {
  StopListening();
  QString sender = bus_.baseService();  // ":1.42" becomes "1_42"
  sender.remove(0, 1).replace(QLatin1Char('.'), QLatin1Char('_'));
  requestPath_ = kPath + QStringLiteral("/request/") + sender + QLatin1Char('/') + token;
  bus_.connect(kService, requestPath_, kRequestInterface, QStringLiteral("Response"), this,
               SLOT(OnResponse(uint, QVariantMap)));
}

void GlobalShortcutsPortal::StopListening() {
  if (requestPath_.isEmpty()) return;
  bus_.disconnect(kService, requestPath_, kRequestInterface, QStringLiteral("Response"), this,
                  SLOT(OnResponse(uint, QVariantMap)));
  requestPath_.clear();
}

void GlobalShortcutsPortal::CloseSession() {
  if (sessionPath_.isEmpty()) return;
  QDBusMessage close = QDBusMessage::createMethodCall(kService, sessionPath_, QStringLiteral("org.freedesktop.portal.Session"),
                                                      QStringLiteral("Close"));
  bus_.call(close, QDBus::NoBlock);
  sessionPath_.clear();
}

void GlobalShortcutsPortal::OnResponse(uint response, const QVariantMap& results) {
  const Waiting step = waiting_;
  StopListening();
  if (step != Waiting::kSession && step != Waiting::kBinding) return;
  if (response != 0) {
    Fail(response == 1 ? "登録が断られた" : "ポータルが登録できなかった");
    return;
  }
  if (step == Waiting::kSession) {
    sessionPath_ = PathOf(results.value(QStringLiteral("session_handle")));
    if (sessionPath_.isEmpty()) {
      Fail("ポータルがセッションを返さなかった");
      return;
    }
    SendBindShortcuts();
    return;
  }
  waiting_ = Waiting::kNothing;
  std::vector<BoundShortcut> bound;
  for (const PortalShortcut& shortcut : ShortcutsOf(results.value(QStringLiteral("shortcuts")))) {
    bound.push_back({Text(shortcut.id), Text(shortcut.properties.value(QStringLiteral("trigger_description")).toString())});
  }
  if (handlers_.bound) handlers_.bound(bound);
}

void GlobalShortcutsPortal::OnActivated(const QDBusMessage& message) { Activation(message, true); }

void GlobalShortcutsPortal::OnDeactivated(const QDBusMessage& message) { Activation(message, false); }

void GlobalShortcutsPortal::Activation(const QDBusMessage& message, bool active) {
  const QList<QVariant> arguments = message.arguments();
  if (arguments.size() < 2 || !handlers_.activated) return;
  if (PathOf(arguments[0]) == sessionPath_) handlers_.activated(Text(arguments[1].toString()), active);
}

void GlobalShortcutsPortal::Fail(const std::string& why) {
  waiting_ = Waiting::kNothing;
  StopListening();
  if (handlers_.unavailable) handlers_.unavailable(why);
}

}  // namespace qorve
