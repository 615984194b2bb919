// The player as the program that opens a file type when it is double-clicked
// in a file manager: a desktop entry of the player (qorve.desktop in
// $XDG_DATA_HOME/applications) and the per-type defaults of
// $XDG_CONFIG_HOME/mimeapps.list. Registering puts the player first and keeps
// every other program's association; unregistering removes only the player's,
// so the program that was default before becomes default again.
// Plain C++; user-interface thread.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace qorve {

// The desktop-file id of the player's entry.
inline constexpr char kPlayerDesktopId[] = "qorve.desktop";

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

// Makes the player the default for every MIME type of the extension, writing
// its desktop entry with the real player path when needed. False (nothing
// written) when the type is unknown or the player is missing, or when a file
// could not be written.
bool RegisterType(std::string_view extension);

// Removes the player's association of the extension's MIME types (and the
// types from the player's desktop entry). Other programs' entries stay.
bool UnregisterType(std::string_view extension);

// The program part of an Exec key, as a desktop entry holds it: the path as
// it is, or quoted and escaped when it holds reserved characters.
std::string ExecLineFor(const std::filesystem::path& program);
// The program an Exec value starts (its first word, unquoted), resolved
// through $PATH when it is a bare name; empty for an unreadable line.
std::string ProgramOfExecLine(std::string_view exec);

}  // namespace qorve
