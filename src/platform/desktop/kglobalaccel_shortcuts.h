// KDE Plasma's global shortcuts through its own service, KGlobalAccel
// (org.kde.kglobalaccel), which every KDE program uses on X11 and Wayland.
// The program is a component of the service; each command is an action of
// it with the key the program binds, shown and changeable in the desktop's
// shortcut settings. The program's keys win over changes made there: they
// are set anew at every registration. When the object goes, the actions are
// marked inactive and the desktop stops taking their keys.
// User-interface thread only.
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QStringList>

#include <string>
#include <vector>

#include "platform/desktop/global_shortcut_service.h"

namespace qorve {

class KGlobalAccelShortcuts final : public QObject, public GlobalShortcutService {
  Q_OBJECT

 public:
  // `component`: the program's name for the service ("qorve"); `friendlyName`
  // is what the desktop's settings show for it.
  KGlobalAccelShortcuts(QDBusConnection bus, std::string component, std::string friendlyName,
                        GlobalShortcutHandlers handlers);
  ~KGlobalAccelShortcuts() override;

  std::string Name() const override { return "KGlobalAccel"; }
  void Bind(std::vector<GlobalShortcut> shortcuts) override;

 private slots:
  void OnPressed(const QDBusMessage& message);

 private:
  QStringList ActionId(const GlobalShortcut& shortcut) const;
  void Answered(const std::string& id, const QList<int>& keys);

  QDBusConnection bus_;
  QString component_;
  QString friendlyName_;
  GlobalShortcutHandlers handlers_;
  std::vector<GlobalShortcut> shortcuts_;
  std::vector<BoundShortcut> bound_;
  int pending_ = 0;
  unsigned generation_ = 0;
  bool failed_ = false;
  bool listening_ = false;
};

// The key code KGlobalAccel takes (a Qt key with its keypad modifier) for a
// keysym name ("Escape", "p", "KP_Add", "F4"); 0 for a name no key has.
int KGlobalAccelKeyOf(const std::string& keysymName);

}  // namespace qorve
