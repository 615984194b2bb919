#include "platform/desktop/kglobalaccel_shortcuts.h"

#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QKeySequence>

#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <algorithm>

namespace qorve {
namespace {

const QString kService = QStringLiteral("org.kde.kglobalaccel");
const QString kPath = QStringLiteral("/kglobalaccel");
const QString kInterface = QStringLiteral("org.kde.KGlobalAccel");
const QString kComponentInterface = QStringLiteral("org.kde.kglobalaccel.Component");

// setShortcut's flags: the keys are the defaults; the action exists in a
// running program; the keys are taken as given, not the ones stored from
// an earlier run.
constexpr uint kIsDefault = 1;
constexpr uint kSetPresent = 2;
constexpr uint kNoAutoloading = 4;

QDBusMessage Call(const QString& method, const QList<QVariant>& arguments) {
  QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
  call.setArguments(arguments);
  return call;
}

// The component's object path: characters other than letters, digits and
// "_" become "_".
QString ComponentPath(const QString& component) {
  QString path = QStringLiteral("/component/");
  for (const QChar c : component) path += (c.isLetterOrNumber() && c.unicode() < 128) || c == u'_' ? c : u'_';
  return path;
}

constexpr int Keypad(int key) { return static_cast<int>(Qt::KeypadModifier) | key; }

struct KeysymKey {
  unsigned keysym;
  int key;
};

constexpr KeysymKey kSpecialKeys[] = {
    {XK_Escape, Qt::Key_Escape},     {XK_Tab, Qt::Key_Tab},          {XK_BackSpace, Qt::Key_Backspace},
    {XK_Return, Qt::Key_Return},     {XK_Insert, Qt::Key_Insert},    {XK_Delete, Qt::Key_Delete},
    {XK_Pause, Qt::Key_Pause},       {XK_Print, Qt::Key_Print},      {XK_Home, Qt::Key_Home},
    {XK_End, Qt::Key_End},           {XK_Left, Qt::Key_Left},        {XK_Up, Qt::Key_Up},
    {XK_Right, Qt::Key_Right},       {XK_Down, Qt::Key_Down},        {XK_Prior, Qt::Key_PageUp},
    {XK_Next, Qt::Key_PageDown},     {XK_Menu, Qt::Key_Menu},        {XK_Num_Lock, Qt::Key_NumLock},
    {XK_Scroll_Lock, Qt::Key_ScrollLock}, {XK_Caps_Lock, Qt::Key_CapsLock},
    {XK_Kanji, Qt::Key_Kanji},       {XK_Muhenkan, Qt::Key_Muhenkan}, {XK_Henkan, Qt::Key_Henkan},
    {XK_Hiragana_Katakana, Qt::Key_Hiragana_Katakana}, {XK_Zenkaku_Hankaku, Qt::Key_Zenkaku_Hankaku},
    {XK_Eisu_toggle, Qt::Key_Eisu_toggle},
    {XK_KP_Add, Keypad(Qt::Key_Plus)}, {XK_KP_Subtract, Keypad(Qt::Key_Minus)},
    {XK_KP_Multiply, Keypad(Qt::Key_Asterisk)}, {XK_KP_Divide, Keypad(Qt::Key_Slash)},
    {XK_KP_Decimal, Keypad(Qt::Key_Period)}, {XK_KP_Enter, Keypad(Qt::Key_Enter)},
};

}  // namespace

int KGlobalAccelKeyOf(const std::string& keysymName) {
  if (keysymName.empty()) return 0;
  const KeySym keysym = XStringToKeysym(keysymName.c_str());
  if (keysym == NoSymbol) return 0;
  // Printable Latin-1: Qt names a letter key by its capital.
  if (keysym >= 0x20 && keysym <= 0x7E) return keysym >= 'a' && keysym <= 'z' ? int(keysym) - 0x20 : int(keysym);
  if (keysym >= 0xA0 && keysym <= 0xFF) return keysym >= 0xE0 && keysym != 0xF7 && keysym != 0xFF ? int(keysym) - 0x20 : int(keysym);
  if (keysym >= XK_F1 && keysym <= XK_F35) return Qt::Key_F1 + int(keysym - XK_F1);
  if (keysym >= XK_KP_0 && keysym <= XK_KP_9) return Keypad(Qt::Key_0 + int(keysym - XK_KP_0));
  for (const KeysymKey& entry : kSpecialKeys) {
    if (entry.keysym == keysym) return entry.key;
  }
  return 0;
}

KGlobalAccelShortcuts::KGlobalAccelShortcuts(QDBusConnection bus, std::string component, std::string friendlyName,
                                             GlobalShortcutHandlers handlers)
    : bus_(std::move(bus)),
      component_(QString::fromStdString(component)),
      friendlyName_(QString::fromStdString(friendlyName)),
      handlers_(std::move(handlers)) {}

KGlobalAccelShortcuts::~KGlobalAccelShortcuts() {
  if (!bus_.isConnected()) return;
  // The last call waits for its answer (briefly): the program may be about
  // to end, and the ones before it are then delivered too.
  for (std::size_t i = 0; i < shortcuts_.size(); ++i) {
    const QDBusMessage inactive = Call(QStringLiteral("setInactive"), {ActionId(shortcuts_[i])});
    if (i + 1 < shortcuts_.size()) {
      bus_.send(inactive);
    } else {
      bus_.call(inactive, QDBus::Block, 1000);
    }
  }
}

QStringList KGlobalAccelShortcuts::ActionId(const GlobalShortcut& shortcut) const {
  return {component_, QString::fromStdString(shortcut.id), friendlyName_, QString::fromStdString(shortcut.description)};
}

void KGlobalAccelShortcuts::Bind(std::vector<GlobalShortcut> shortcuts) {
  ++generation_;
  failed_ = false;
  bound_.clear();
  if (!bus_.isConnected()) {
    failed_ = true;
    if (handlers_.unavailable) handlers_.unavailable("セッションバスがない");
    return;
  }
  // Actions the program no longer has leave the desktop's settings.
  for (const GlobalShortcut& old : shortcuts_) {
    const bool kept = std::any_of(shortcuts.begin(), shortcuts.end(),
                                  [&](const GlobalShortcut& shortcut) { return shortcut.id == old.id; });
    if (!kept) bus_.send(Call(QStringLiteral("unregister"), {component_, QString::fromStdString(old.id)}));
  }
  shortcuts_ = std::move(shortcuts);
  if (!listening_) {
    listening_ = bus_.connect(kService, ComponentPath(component_), kComponentInterface,
                              QStringLiteral("globalShortcutPressed"), this, SLOT(OnPressed(QDBusMessage)));
  }
  pending_ = static_cast<int>(shortcuts_.size());
  if (pending_ == 0) {
    if (handlers_.bound) handlers_.bound({});
    return;
  }
  const unsigned generation = generation_;
  for (const GlobalShortcut& shortcut : shortcuts_) {
    const QStringList id = ActionId(shortcut);
    const int key = KGlobalAccelKeyOf(shortcut.preferredTrigger);
    const QList<int> keys{key};
    // Messages to one destination arrive in the order sent: the action
    // exists before its keys are set.
    bus_.send(Call(QStringLiteral("doRegister"), {id}));
    bus_.send(Call(QStringLiteral("setShortcut"), {id, QVariant::fromValue(keys), kIsDefault}));
    auto* watcher = new QDBusPendingCallWatcher(
        bus_.asyncCall(Call(QStringLiteral("setShortcut"), {id, QVariant::fromValue(keys), kSetPresent | kNoAutoloading})),
        this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, generation, name = shortcut.id](QDBusPendingCallWatcher* call) {
              call->deleteLater();
              if (generation != generation_ || failed_) return;
              QDBusPendingReply<QList<int>> reply = *call;
              if (reply.isError()) {
                failed_ = true;
                if (handlers_.unavailable) handlers_.unavailable("KGlobalAccel: " + reply.error().message().toStdString());
                return;
              }
              Answered(name, reply.value());
            });
  }
}

void KGlobalAccelShortcuts::Answered(const std::string& id, const QList<int>& keys) {
  // A key another program holds comes back as 0: the action has none.
  const auto key = std::find_if(keys.begin(), keys.end(), [](int k) { return k != 0; });
  if (key != keys.end()) {
    bound_.push_back({id, QKeySequence(*key).toString(QKeySequence::PortableText).toStdString()});
  }
  if (--pending_ > 0) return;
  // In the program's order, whichever answer came first.
  std::vector<BoundShortcut> ordered;
  for (const GlobalShortcut& shortcut : shortcuts_) {
    for (const BoundShortcut& bound : bound_) {
      if (bound.id == shortcut.id) ordered.push_back(bound);
    }
  }
  if (handlers_.bound) handlers_.bound(ordered);
}

void KGlobalAccelShortcuts::OnPressed(const QDBusMessage& message) {
  const QList<QVariant> arguments = message.arguments();
  if (arguments.size() < 2 || !handlers_.activated) return;
  if (arguments[0].toString() != component_) return;
  // The service tells of the press alone: the key is pressed and let go, as
  // a tap between two polls.
  const std::string id = arguments[1].toString().toStdString();
  handlers_.activated(id, true);
  handlers_.activated(id, false);
}

}  // namespace qorve
