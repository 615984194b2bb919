// settings/desktop/: file types, Send To and the play test.
//
// The player as the program that opens a file type when it is double-clicked
// in a file manager: a hidden desktop entry of the player's associations
// (qorve-open.desktop in $XDG_DATA_HOME/applications) and the per-type
// defaults of $XDG_CONFIG_HOME/mimeapps.list. The entry has an id of its own,
// so the installed qorve.desktop stays in the menus and "Open with" lists.
// Registering puts the player first and keeps every other program's
// association; unregistering removes only the player's, so the program that
// was default before becomes default again. A mimeapps.list that is there but
// cannot be read is never replaced. Plain C++; user-interface thread.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace qorve {

// The desktop-file id of the player's association entry.
inline constexpr char kPlayerDesktopId[] = "qorve-open.desktop";
// The id of the entry installed with the programs. Earlier versions wrote
// their association entry under it, hidden, in the user's folder, where it
// hid the installed one.
inline constexpr char kInstalledDesktopId[] = "qorve.desktop";

// The player next to the running program: <program folder>/qorve.
std::filesystem::path PlayerPath();

// The program that opens files of the extension ("wav" or ".wav", any case)
// by default: the first word of the Exec line of the default application of
// the extension's MIME type, found as the desktop's own lookup finds it
// (mimeapps.list files, then defaults.list and mimeinfo.cache). Nothing when
// the type is unknown or has no default.
std::optional<std::string> QueryAssociation(std::string_view extension);

// The desktop-file id the desktop opens files of a MIME type with by default,
// or nothing.
std::optional<std::string> DefaultApplication(std::string_view mimeType);

// Whether the player program exists and can be started.
bool PlayerIsInstalled();

// Whether `program` is the player: the same file, however it is reached
// (/usr/bin/qorve is a link to the program folder's).
bool IsPlayerProgram(const std::filesystem::path& program);

// Whether the default program of the extension is the player.
bool AssociatedWithPlayer(std::string_view extension);

// Moves the associations an earlier version kept in the user's qorve.desktop
// (hidden from menus) to the association entry, rewrites the ids in
// mimeapps.list and deletes that file, so the installed entry shows again.
// A qorve.desktop the user made is left alone. False with the reason in
// `error` when a file could not be read or written; nothing is lost then.
bool MigrateAssociations(std::string* error = nullptr);

// Makes the player the default for every MIME type of the extension, writing
// its association entry with the real player path when needed. False
// (nothing written) when the type is unknown, the player is missing or
// mimeapps.list is there but cannot be read; false too when a file could not
// be written. `error` then says which file and why, where a file is the cause.
bool RegisterType(std::string_view extension, std::string* error = nullptr);

// Removes the player's association of the extension's MIME types (and the
// types from the association entry). Other programs' entries stay. Fails
// like RegisterType.
bool UnregisterType(std::string_view extension, std::string* error = nullptr);

// The program part of an Exec key, as a desktop entry holds it: the path as
// it is, or quoted and escaped when it holds reserved characters.
std::string ExecLineFor(const std::filesystem::path& program);
// The program an Exec value starts (its first word, unquoted), resolved
// through $PATH when it is a bare name; empty for an unreadable line.
std::string ProgramOfExecLine(std::string_view exec);

}  // namespace qorve
