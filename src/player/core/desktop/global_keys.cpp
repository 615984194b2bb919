#include "player/core/desktop/global_keys.h"

#include "common/keyset_commands.h"
#include "common/log.h"
#include "common/settings.h"
#include "platform/desktop/desktop_notification.h"
#include "platform/desktop/global_shortcuts_portal.h"
#include "platform/desktop/kglobalaccel_shortcuts.h"
#include "platform/system/profile.h"

#include <algorithm>
#include <fstream>

namespace qorve {
namespace {

// The program's desktop entry, by which desktops name it.
constexpr char kDesktopEntry[] = "qorve";

// The KEYSET keys the settings file holds now, over the program-wide values.
Settings KeysInSettingsFile() {
  Settings settings = ProgramSettings();
  const std::filesystem::path file = SettingsFilePath();
  for (const KeysetCommand& command : KeysetCommands()) {
    settings.*command.key = GetPrivateProfileInt("KEYSET", command.name, settings.*command.key, file);
  }
  return settings;
}

bool SameTriggers(const std::vector<KeysetShortcut>& a, const std::vector<KeysetShortcut>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].id != b[i].id || a[i].trigger != b[i].trigger) return false;
  }
  return true;
}

bool AlreadyTold(const std::filesystem::path& file, const std::string& desktop) {
  std::ifstream in(file);
  std::string line;
  // A line per desktop; a file grown past any real use is read no further.
  for (int lines = 0; lines < 64 && std::getline(in, line); ++lines) {
    if (line == desktop) return true;
  }
  return false;
}

void RememberTold(const std::filesystem::path& file, const std::string& desktop) {
  std::error_code ignored;
  std::filesystem::create_directories(file.parent_path(), ignored);
  std::ofstream(file, std::ios::app) << desktop << '\n';
}

DesktopNotice NoticeText(bool english) {
  if (english) {
    return {"QORVE", kDesktopEntry, "QORVE: keys work only in its window",
            "This desktop offers programs no global shortcuts, so QORVE's keys work only while its window has the "
            "keyboard. To use them anywhere, add custom shortcuts in the desktop's keyboard settings that run "
            "commands such as \"qorve --command NEXT\" (also PAUSE, BACK, CLOSE and the other key names)."};
  }
  return {"QORVE", kDesktopEntry, "QORVE: キーはウィンドウの上でだけ効きます",
          "このデスクトップにはどこでも効くショートカットの仕組みがないため、QORVE のキーは QORVE "
          "のウィンドウにキーボードがある間だけ効きます。どこでも使うには、デスクトップのキーボード設定の"
          "カスタムショートカットに「qorve --command NEXT」のようなコマンドを割り当ててください（NEXT のほか "
          "PAUSE、BACK、CLOSE などキーの名前が使えます）。"};
}

}  // namespace

GlobalKeys::GlobalKeys(InputPoller& input, QDBusConnection bus, GlobalKeysDesktop desktop)
    : input_(input),
      bus_(std::move(bus)),
      desktop_(std::move(desktop)),
      handlers_{.bound = [this](const std::vector<BoundShortcut>& bound) { Bound(bound); },
                .unavailable = [this](const std::string& why) { Unavailable(why); },
                .note = [](const std::string& text) { Log(text, 0); },
                .activated = [this](const std::string& id, bool active) { Activated(id, active); }} {
  if (DesktopIsKde(desktop_.name.c_str())) {
    service_ = std::make_unique<KGlobalAccelShortcuts>(bus_, kDesktopEntry, "QORVE", handlers_);
  } else {
    UsePortal();
  }
  connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this] { SettingsFolderChanged(); });
}

GlobalKeys::~GlobalKeys() { input_.ReleaseFed(FeedSource::kShortcut); }

void GlobalKeys::UsePortal() {
  onPortal_ = true;
  service_ = std::make_unique<GlobalShortcutsPortal>(bus_, kDesktopEntry, handlers_);
}

void GlobalKeys::Start() {
  Register(KeysetShortcuts(ProgramSettings()));
  // The settings program replaces the file as a whole; its folder tells. The
  // folder is made if need be (the player writes its settings there anyway).
  const std::filesystem::path folder = SettingsFilePath().parent_path();
  if (folder.empty()) return;
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  watcher_.addPath(QString::fromStdString(folder.string()));
}

void GlobalKeys::Register(std::vector<KeysetShortcut> shortcuts) {
  input_.ReleaseFed(FeedSource::kShortcut);
  registered_ = std::move(shortcuts);
  std::vector<GlobalShortcut> asked;
  for (const KeysetShortcut& shortcut : registered_) asked.push_back({shortcut.id, shortcut.description, shortcut.trigger});
  service_->Bind(std::move(asked));
}

void GlobalKeys::SettingsFolderChanged() {
  std::vector<KeysetShortcut> wanted = KeysetShortcuts(KeysInSettingsFile());
  if (!SameTriggers(wanted, registered_)) Register(std::move(wanted));
}

void GlobalKeys::Bound(const std::vector<BoundShortcut>& bound) {
  std::string text;
  std::vector<KeysetShortcut> unbound;
  long count = 0;
  for (const KeysetShortcut& ours : registered_) {
    const auto found = std::find_if(bound.begin(), bound.end(), [&](const BoundShortcut& shortcut) {
      return shortcut.id == ours.id && !shortcut.triggerDescription.empty();
    });
    if (found == bound.end()) {
      unbound.push_back(ours);
      continue;
    }
    text += ' ' + ours.description + "=" + found->triggerDescription;
    ++count;
  }
  if (count == 0 && !registered_.empty()) {
    // A desktop that answers with no key at all gives nothing system-wide
    // (KDE's portal does so for a program it cannot name).
    Unavailable(service_->Name() + "がキーを割り当てなかった");
    return;
  }
  Log("グローバルショートカット " + service_->Name() + text, count);
  if (!unbound.empty()) {
    // These stay keys of the player's windows, as without the service.
    Log("グローバルショートカット未割り当て ウィンドウにキーボードがある間だけ効くキー: " + DescribeShortcuts(unbound),
        static_cast<long>(unbound.size()));
  }
}

void GlobalKeys::Unavailable(const std::string& why) {
  if (!onPortal_) {
    // Without KDE's own service the portal may still serve.
    Log("グローバルショートカット " + service_->Name() + "なし (" + why + ")", 0);
    onPortal_ = true;
    // Not from inside the failing service's own answer, which replacing it
    // would destroy.
    QMetaObject::invokeMethod(
        this,
        [this] {
          UsePortal();
          Register(registered_);
        },
        Qt::QueuedConnection);
    return;
  }
  if (toldUnavailable_) return;
  toldUnavailable_ = true;
  Log("グローバルショートカットなし (" + why + ") ウィンドウにキーボードがある間だけ効くキー: " +
          DescribeShortcuts(registered_),
      0);
  TellTheUser();
}

void GlobalKeys::TellTheUser() {
  const std::string desktop = desktop_.name.empty() ? "unknown" : desktop_.name;
  if (!desktop_.noticeFile.empty() && AlreadyTold(desktop_.noticeFile, desktop)) return;
  ShowDesktopNotice(bus_, NoticeText(desktop_.english), this, [this, desktop](bool shown, const std::string& why) {
    if (!shown) {
      Log("グローバルショートカットの案内を表示できない (" + why + ")", 0);
      return;
    }
    Log("グローバルショートカットの案内 通知", 0);
    if (!desktop_.noticeFile.empty()) RememberTold(desktop_.noticeFile, desktop);
  });
}

void GlobalKeys::Activated(const std::string& id, bool active) {
  // A shortcut stands for its command: it presses the key the controller
  // polls for that command, whichever key the desktop triggers it with.
  for (const KeysetShortcut& shortcut : registered_) {
    const int key = ProgramSettings().*shortcut.key;
    if (shortcut.id == id && IsKeyboardKey(key)) input_.FeedKey(key, active, FeedSource::kShortcut);
  }
}

}  // namespace qorve
