#include "player/core/desktop/command_service.h"

#include "common/keyset_commands.h"
#include "player/core/desktop/remote_control.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace qorve {
namespace {

constexpr char kServiceName[] = "io.github.qorve.Player";
constexpr char kObjectPath[] = "/io/github/qorve/Player";
constexpr char kInterface[] = "io.github.qorve.Player";

// The sender's own connection, apart from Qt's shared session bus.
constexpr char kSenderConnection[] = "qorve-command";

// The address of the session bus, as D-Bus clients find it, but never by the
// X server's autolaunch: that would connect to the display and start a bus of
// its own, which no player has joined. Empty when there is none.
QString SessionBusAddress() {
  if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS"); address && *address) {
    return QString::fromLocal8Bit(address);
  }
  // Where a user session's bus listens when nothing names it.
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (!runtime || !*runtime) return {};
  const std::string path = std::string(runtime) + "/bus";
  struct stat status {};
  if (stat(path.c_str(), &status) != 0 || !S_ISSOCK(status.st_mode)) return {};
  // Bytes outside the plain set are %-escaped in a D-Bus address.
  QString address = QStringLiteral("unix:path=");
  for (const unsigned char c : path) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                       c == '_' || c == '/' || c == '.' || c == '\\' || c == '*';
    address += plain ? QString(QChar(c)) : QStringLiteral("%%1").arg(static_cast<uint>(c), 2, 16, QChar('0'));
  }
  return address;
}

void PrintCommandNames() {
  std::string names = "commands:";
  for (const KeysetCommand& command : KeysetCommands()) names += std::string(" ") + command.name;
  std::fprintf(stderr, "%s\n", names.c_str());
}

int UsageError(const std::string& message) {
  std::fprintf(stderr, "qorve: %s\n", message.c_str());
  PrintCommandNames();
  return 2;
}

int NotTaken(const std::string& message) {
  std::fprintf(stderr, "qorve: %s\n", message.c_str());
  return 1;
}

}  // namespace

CommandService::CommandService() {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return;
  if (!bus.registerObject(kObjectPath, this, QDBusConnection::ExportScriptableSlots)) return;
  // Neither queued for the name nor taking it over: the first player keeps it.
  if (!bus.registerService(kServiceName)) {
    bus.unregisterObject(kObjectPath);
    return;
  }
  registered_ = true;
}

CommandService::~CommandService() {
  if (!registered_) return;
  QDBusConnection bus = QDBusConnection::sessionBus();
  bus.unregisterService(kServiceName);
  bus.unregisterObject(kObjectPath);
}

bool CommandService::Command(const QString& name) {
  const KeysetCommand* command = FindKeysetCommand(name.toStdString());
  if (!command) {
    if (calledFromDBus()) sendErrorReply(QDBusError::InvalidArgs, QStringLiteral("unknown command \"%1\"").arg(name));
    return false;
  }
  PlayerRemote().Post({RemoteCommand::Keyset, 0.0, command});
  return true;
}

int SendCommandToPlayer(const CommandCall& call, int argc, char** argv) {
  if (call.strayArguments) return UsageError("--command takes one command name and nothing else");
  if (call.name.empty()) return UsageError("--command needs a command name");
  const KeysetCommand* command = FindKeysetCommand(call.name);
  if (!command) return UsageError("unknown command \"" + call.name + "\"");

  const QString address = SessionBusAddress();
  if (address.isEmpty()) return NotTaken("no session bus: no player can be reached");
  QCoreApplication application(argc, argv);
  int status = 1;
  {
    QDBusConnection bus = QDBusConnection::connectToBus(address, QString::fromLatin1(kSenderConnection));
    if (!bus.isConnected()) {
      status = NotTaken("no session bus at " + address.toStdString() + ": no player can be reached");
    } else {
      QDBusMessage message =
          QDBusMessage::createMethodCall(kServiceName, kObjectPath, kInterface, QStringLiteral("Command"));
      message << QString::fromLatin1(command->name);
      message.setAutoStartService(false);  // a player is started by the user, never by the bus
      const QDBusMessage reply = bus.call(message, QDBus::Block, kCommandReplyTimeoutMs);
      const QString error = reply.errorName();
      if (reply.type() == QDBusMessage::ReplyMessage) {
        const bool taken = !reply.arguments().isEmpty() && reply.arguments().first().toBool();
        status = taken ? 0 : NotTaken("the player did not take the command");
      } else if (error == QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown") ||
                 error == QStringLiteral("org.freedesktop.DBus.Error.NameHasNoOwner")) {
        status = NotTaken("no player is running");
      } else if (error == QStringLiteral("org.freedesktop.DBus.Error.NoReply") ||
                 error == QStringLiteral("org.freedesktop.DBus.Error.Timeout")) {
        status = NotTaken("the player did not answer");
      } else if (error == QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs")) {
        status = UsageError("the player does not know the command \"" + call.name + "\"");
      } else {
        status = NotTaken("the player could not be reached: " + reply.errorMessage().toStdString());
      }
    }
  }
  QDBusConnection::disconnectFromBus(QString::fromLatin1(kSenderConnection));
  return status;
}

}  // namespace qorve
