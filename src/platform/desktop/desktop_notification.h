// A message to the user through the desktop's notification server
// (org.freedesktop.Notifications), which GNOME, KDE Plasma and most other
// desktops run. User-interface thread only.
#pragma once

#include <QDBusConnection>

#include <functional>
#include <string>

class QObject;

namespace qorve {

struct DesktopNotice {
  std::string appName;    // "QORVE"
  std::string desktopEntry;  // the program's desktop entry without ".desktop", for its icon and name
  std::string summary;
  std::string body;
};

// Sends `notice`; `done` is called on the thread of `context` with whether
// a server took it and, where none did, why (for the log).
void ShowDesktopNotice(QDBusConnection bus, const DesktopNotice& notice, QObject* context,
                       std::function<void(bool shown, const std::string& why)> done);

}  // namespace qorve
