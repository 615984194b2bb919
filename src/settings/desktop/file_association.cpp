#include "settings/desktop/file_association.h"

#include "platform/system/folders.h"
#include "settings/desktop/key_file.h"
#include "settings/desktop/mime_database.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>

namespace qorve {
namespace {

constexpr char kDesktopEntry[] = "Desktop Entry";
constexpr char kDefaults[] = "Default Applications";
constexpr char kAdded[] = "Added Associations";
constexpr char kRemoved[] = "Removed Associations";

std::filesystem::path UserMimeAppsList() { return ConfigHomeFolder() / "mimeapps.list"; }
std::filesystem::path PlayerDesktopFile() { return DataHomeFolder() / "applications" / kPlayerDesktopId; }
std::filesystem::path OldPlayerDesktopFile() { return DataHomeFolder() / "applications" / kInstalledDesktopId; }

// The user's mimeapps.list, or nothing (with the reason) when it is there but
// cannot be read: writing it then would lose every association it holds.
std::optional<KeyFile> LoadUserList(std::string* error) {
  std::string reason;
  std::optional<KeyFile> list = KeyFile::Load(UserMimeAppsList(), reason);
  if (!list && error != nullptr) *error = reason;
  return list;
}

std::string_view Extension(std::string_view text) {
  if (!text.empty() && text.front() == '.') text.remove_prefix(1);
  return text;
}

// The installed desktop file of an id, strongest data folder first.
std::optional<std::filesystem::path> DesktopFileOf(std::string_view id) {
  if (id.empty() || id.find('/') != std::string_view::npos) return std::nullopt;
  for (const std::filesystem::path& folder : DataFolders()) {
    std::filesystem::path file = folder / "applications" / std::string(id);
    std::error_code error;
    if (std::filesystem::is_regular_file(file, error)) return file;
  }
  return std::nullopt;
}

// The parts of a ":"-separated list; empty parts are dropped.
std::vector<std::string> SplitColonList(std::string_view list) {
  std::vector<std::string> parts;
  while (!list.empty()) {
    const std::size_t end = list.find(':');
    if (const std::string_view part = list.substr(0, end); !part.empty()) parts.emplace_back(part);
    if (end == std::string_view::npos) break;
    list.remove_prefix(end + 1);
  }
  return parts;
}

// The mimeapps.list files of the desktop, strongest first; each folder's
// desktop-specific file ($XDG_CURRENT_DESKTOP) comes before its general one.
std::vector<std::filesystem::path> MimeAppsLists() {
  std::vector<std::filesystem::path> folders{ConfigHomeFolder()};
  const char* configDirs = std::getenv("XDG_CONFIG_DIRS");
  for (const std::string& folder : SplitColonList(configDirs && *configDirs ? configDirs : "/etc/xdg")) {
    folders.emplace_back(folder);
  }
  for (const std::filesystem::path& data : DataFolders()) folders.push_back(data / "applications");
  std::vector<std::string> prefixes;
  const char* current = std::getenv("XDG_CURRENT_DESKTOP");
  for (std::string name : SplitColonList(current ? current : "")) {
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    prefixes.push_back(name + "-");
  }
  prefixes.emplace_back();
  std::vector<std::filesystem::path> files;
  for (const std::filesystem::path& folder : folders) {
    for (const std::string& prefix : prefixes) files.push_back(folder / (prefix + "mimeapps.list"));
  }
  return files;
}

std::vector<std::string> ListOf(const KeyFile& file, const char* group, std::string_view type) {
  return SplitList(file.Find(group, type).value_or(""));
}

void SetList(KeyFile& file, const char* group, std::string_view type, const std::vector<std::string>& items) {
  if (items.empty()) {
    file.Remove(group, type);
  } else {
    file.Set(group, type, JoinList(items));
  }
}

std::vector<std::string> Without(std::vector<std::string> items, std::string_view id) {
  items.erase(std::remove(items.begin(), items.end(), id), items.end());
  return items;
}

std::vector<std::string> PlayerFirst(const std::vector<std::string>& items) {
  std::vector<std::string> result{kPlayerDesktopId};
  for (std::string& item : Without(items, kPlayerDesktopId)) result.push_back(std::move(item));
  return result;
}

// Writes the player's association entry with the player path and the MIME
// types it is registered for (adding `add`, removing `remove`).
bool UpdatePlayerDesktopEntry(const std::vector<std::string>& add, const std::vector<std::string>& remove,
                              std::string* error) {
  KeyFile entry = KeyFile::Read(PlayerDesktopFile());
  std::vector<std::string> types = ListOf(entry, kDesktopEntry, "MimeType");
  for (const std::string& type : remove) types = Without(types, type);
  for (const std::string& type : add) {
    if (std::find(types.begin(), types.end(), type) == types.end()) types.push_back(type);
  }
  const std::string before = entry.Serialize();
  entry.Set(kDesktopEntry, "Type", "Application");
  entry.Set(kDesktopEntry, "Name", "QORVE");
  entry.Set(kDesktopEntry, "GenericName", "Media Player");
  entry.Set(kDesktopEntry, "Icon", "qorve");
  entry.Set(kDesktopEntry, "Exec", ExecLineFor(PlayerPath()) + " %f");
  entry.Set(kDesktopEntry, "Terminal", "false");
  // The file types' own entry: menus show the installed qorve.desktop.
  entry.Set(kDesktopEntry, "NoDisplay", "true");
  SetList(entry, kDesktopEntry, "MimeType", types);
  if (entry.Serialize() == before) return true;
  return entry.Write(PlayerDesktopFile(), error);
}

// The entry earlier versions wrote: hidden, starting a program named qorve.
// One the user made (shown in menus, or starting something else) is theirs.
bool IsOldAssociationEntry(const KeyFile& entry) {
  if (entry.Find(kDesktopEntry, "NoDisplay") != "true") return false;
  return std::filesystem::path(ProgramOfExecLine(entry.Find(kDesktopEntry, "Exec").value_or(""))).filename() ==
         "qorve";
}

// The list with `from` replaced by `to` where it stands, `to` kept once.
std::vector<std::string> Renamed(const std::vector<std::string>& items, std::string_view from, std::string_view to) {
  std::vector<std::string> result;
  for (const std::string& item : items) {
    const std::string name(item == from ? to : item);
    if (std::find(result.begin(), result.end(), name) == result.end()) result.push_back(name);
  }
  return result;
}

// Our own MIME types stay in the user's database while the player opens them.
bool RefreshOwnTypes() {
  std::vector<std::string> extensions;
  for (const OwnMimeType& own : OwnMimeTypes()) {
    if (DefaultApplication(own.mimeType) == kPlayerDesktopId) extensions.emplace_back(own.extension);
  }
  return UpdateOwnMimePackage(extensions);
}

}  // namespace

std::filesystem::path PlayerPath() { return ProgramFolder() / "qorve"; }

std::string ExecLineFor(const std::filesystem::path& program) {
  // A path without reserved characters goes unquoted: simple readers of
  // desktop entries (xdg-utils among them) take the first word as it stands.
  const std::string text = program.string();
  if (!text.empty() && text.find_first_of(" \t\n\"'\\><~|&;$*?#()`%=") == std::string::npos) return text;
  // Inside double quotes the Exec syntax escapes " ` $ \ with a backslash;
  // the key-file syntax then doubles every backslash; "%" is written "%%".
  std::string quoted = "\"";
  for (char c : program.string()) {
    if (c == '\\') {
      quoted += "\\\\\\\\";
      continue;
    }
    if (c == '"' || c == '`' || c == '$') quoted += "\\\\";
    if (c == '%') quoted += '%';
    if (c == '\n') {
      quoted += "\\n";
      continue;
    }
    quoted += c;
  }
  return quoted + "\"";
}

std::string ProgramOfExecLine(std::string_view exec) {
  // Undo the key-file escapes first.
  std::string text;
  for (std::size_t i = 0; i < exec.size(); ++i) {
    if (exec[i] == '\\' && i + 1 < exec.size()) {
      const char next = exec[++i];
      text += next == 's' ? ' ' : next == 'n' ? '\n' : next == 't' ? '\t' : next == 'r' ? '\r' : next;
    } else {
      text += exec[i];
    }
  }
  std::size_t at = text.find_first_not_of(" \t");
  if (at == std::string::npos) return {};
  std::string program;
  if (text[at] == '"') {
    bool closed = false;
    for (++at; at < text.size(); ++at) {
      if (text[at] == '\\' && at + 1 < text.size()) {
        program += text[++at];
      } else if (text[at] == '"') {
        closed = true;
        break;
      } else {
        program += text[at];
      }
    }
    if (!closed) return {};
  } else {
    const std::size_t end = text.find_first_of(" \t", at);
    program = text.substr(at, end == std::string::npos ? end : end - at);
  }
  // "%%" stands for "%".
  for (std::size_t percent = program.find("%%"); percent != std::string::npos; percent = program.find("%%", percent + 1)) {
    program.erase(percent, 1);
  }
  if (program.empty() || program.find('/') != std::string::npos) return program;
  const char* path = std::getenv("PATH");
  std::string_view folders = path ? path : "";
  while (!folders.empty()) {
    const std::size_t end = folders.find(':');
    const std::filesystem::path candidate = std::filesystem::path(folders.substr(0, end)) / program;
    if (access(candidate.c_str(), X_OK) == 0) return candidate.string();
    if (end == std::string_view::npos) break;
    folders.remove_prefix(end + 1);
  }
  return program;
}

std::optional<std::string> DefaultApplication(std::string_view mimeType) {
  for (const std::filesystem::path& list : MimeAppsLists()) {
    const KeyFile file = KeyFile::Read(list);
    for (const std::string& id : ListOf(file, kDefaults, mimeType)) {
      if (DesktopFileOf(id)) return id;
    }
  }
  // The system's defaults and the cache that update-desktop-database keeps.
  for (const std::filesystem::path& folder : DataFolders()) {
    for (const char* name : {"defaults.list", "mimeinfo.cache"}) {
      const KeyFile file = KeyFile::Read(folder / "applications" / name);
      for (const char* group : {kDefaults, "MIME Cache"}) {
        const std::vector<std::string> ids = ListOf(file, group, mimeType);
        if (!ids.empty()) return ids.front();
      }
    }
  }
  return std::nullopt;
}

std::optional<std::string> QueryAssociation(std::string_view extension) {
  const std::vector<std::string> types = MimeTypesOfExtension(Extension(extension));
  if (types.empty()) return std::nullopt;
  const std::optional<std::string> id = DefaultApplication(types.front());
  if (!id) return std::nullopt;
  const std::optional<std::filesystem::path> file = DesktopFileOf(*id);
  if (!file) return std::nullopt;
  const std::optional<std::string> exec = KeyFile::Read(*file).Find(kDesktopEntry, "Exec");
  if (!exec) return std::nullopt;
  std::string program = ProgramOfExecLine(*exec);
  if (program.empty()) return std::nullopt;
  return program;
}

bool PlayerIsInstalled() { return access(PlayerPath().c_str(), X_OK) == 0; }

bool IsPlayerProgram(const std::filesystem::path& program) {
  struct stat candidate {};
  struct stat player {};
  if (program.empty() || stat(program.c_str(), &candidate) != 0 || stat(PlayerPath().c_str(), &player) != 0) {
    return false;
  }
  return candidate.st_dev == player.st_dev && candidate.st_ino == player.st_ino;
}

bool AssociatedWithPlayer(std::string_view extension) {
  const std::optional<std::string> program = QueryAssociation(extension);
  return program && IsPlayerProgram(*program);
}

bool MigrateAssociations(std::string* error) {
  std::string unreadable;
  const std::optional<KeyFile> old = KeyFile::Load(OldPlayerDesktopFile(), unreadable);
  if (!old || !IsOldAssociationEntry(*old)) return true;
  std::optional<KeyFile> list = LoadUserList(error);
  if (!list) return false;
  // The types move first and the old file goes last: a failure on the way
  // leaves both entries, and every association still opens the player.
  const std::vector<std::string> types = ListOf(*old, kDesktopEntry, "MimeType");
  if (!types.empty() && !UpdatePlayerDesktopEntry(types, {}, error)) return false;
  // Only the types the old entry held were written for it; a default the
  // user gave the installed entry of another type stays the installed one's.
  const std::string before = list->Serialize();
  for (const char* group : {kDefaults, kAdded}) {
    for (const std::string& type : list->Keys(group)) {
      if (std::find(types.begin(), types.end(), type) == types.end()) continue;
      SetList(*list, group, type, Renamed(ListOf(*list, group, type), kInstalledDesktopId, kPlayerDesktopId));
    }
  }
  if (list->Serialize() != before && !list->Write(UserMimeAppsList(), error)) return false;
  std::error_code code;
  if (!std::filesystem::remove(OldPlayerDesktopFile(), code) && code) {
    if (error != nullptr) *error = OldPlayerDesktopFile().string() + ": " + code.message();
    return false;
  }
  return true;
}

bool RegisterType(std::string_view extension, std::string* error) {
  const std::vector<std::string> types = MimeTypesOfExtension(Extension(extension));
  // Files must never be handed to a program that is not there.
  if (types.empty() || !PlayerIsInstalled()) return false;
  if (!MigrateAssociations(error)) return false;
  std::optional<KeyFile> list = LoadUserList(error);
  if (!list) return false;
  if (!UpdatePlayerDesktopEntry(types, {}, error)) return false;
  for (const std::string& type : types) {
    SetList(*list, kDefaults, type, PlayerFirst(ListOf(*list, kDefaults, type)));
    SetList(*list, kAdded, type, PlayerFirst(ListOf(*list, kAdded, type)));
    SetList(*list, kRemoved, type, Without(ListOf(*list, kRemoved, type), kPlayerDesktopId));
  }
  if (!list->Write(UserMimeAppsList(), error)) return false;
  return RefreshOwnTypes();
}

bool UnregisterType(std::string_view extension, std::string* error) {
  const std::vector<std::string> types = MimeTypesOfExtension(Extension(extension));
  if (types.empty()) return false;
  if (!MigrateAssociations(error)) return false;
  std::optional<KeyFile> list = LoadUserList(error);
  if (!list) return false;
  const std::string before = list->Serialize();
  // The installed entry starts the player too: a default the user gave it
  // (through "Open with") goes as well.
  for (const std::string& type : types) {
    for (const char* id : {kPlayerDesktopId, kInstalledDesktopId}) {
      SetList(*list, kDefaults, type, Without(ListOf(*list, kDefaults, type), id));
      SetList(*list, kAdded, type, Without(ListOf(*list, kAdded, type), id));
    }
  }
  if (list->Serialize() != before && !list->Write(UserMimeAppsList(), error)) return false;
  std::error_code code;
  if (std::filesystem::exists(PlayerDesktopFile(), code) && !UpdatePlayerDesktopEntry({}, types, error)) {
    return false;
  }
  return RefreshOwnTypes();
}

}  // namespace qorve
