// The player's commands on the session bus, for desktops and scripts that
// bind keys to programs: `qorve --command NEXT` sends the KEYSET command NEXT
// to the running player, which carries it out as that key would.
//
// Bus name io.github.qorve.Player, object /io/github/qorve/Player, interface
// io.github.qorve.Player, method Command(s name) -> b taken. The first player
// owns the name; a later one finds it taken and goes without the service.
#pragma once

#include "player/core/command_line.h"

#include <QDBusContext>
#include <QObject>
#include <QString>

namespace qorve {

// The receiving side: requests go into the remote queue the controller empties
// on its next poll. User-interface thread only.
class CommandService : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "io.github.qorve.Player")

 public:
  // Registers the service on the session bus; without a bus, or when another
  // player owns the name, the service stays off.
  CommandService();
  ~CommandService() override;
  CommandService(const CommandService&) = delete;
  CommandService& operator=(const CommandService&) = delete;

  bool Registered() const { return registered_; }

 public slots:
  // Queues the KEYSET command `name` (any case): true when it was taken. An
  // unknown name is answered with the error InvalidArgs.
  Q_SCRIPTABLE bool Command(const QString& name);

 private:
  bool registered_ = false;
};

// The sending side, `qorve --command NAME`: sends the command and waits for the
// player's answer (at most kCommandReplyTimeoutMs). Returns the exit status:
// 0 the player took it; 1 no player runs or no session bus can be reached;
// 2 the name is missing or unknown, or other arguments stand beside it (the
// valid names follow the message). One message on stderr for 1 and 2. Makes
// no window, display connection, sound device, settings or log: a
// QCoreApplication at most.
int SendCommandToPlayer(const CommandCall& call, int argc, char** argv);
constexpr int kCommandReplyTimeoutMs = 5000;

}  // namespace qorve
