// The player's commands as desktop-wide shortcuts: which commands a
// desktop's shortcut service can trigger, and the key each prefers.
// Plain bookkeeping, without a display.
#pragma once

#include <string>
#include <vector>

#include "common/settings.h"

namespace qorve {

struct KeysetShortcut {
  std::string id;           // "close", "pause"… (the KEYSET key in lower case)
  std::string description;  // "終了", "一時停止"…
  std::string trigger;      // the bound key as a shortcut trigger, "" where none names it
  int Settings::*key;       // the command's KEYSET value
};

// Whether a KEYSET value names a key of the keyboard (not 0, not a mouse button).
bool IsKeyboardKey(int virtualKey);

// The trigger of the shortcuts specification for a virtual key: the key's
// keysym name ("Escape", "p", "KP_Add", "F4"). Empty for 0, the mouse
// buttons, the modifier keys alone and codes no key gives.
std::string ShortcutTrigger(int virtualKey);

// Every command whose key is a key of the keyboard (not 0, not a mouse
// button), with the trigger of its key in `settings`.
std::vector<KeysetShortcut> KeysetShortcuts(const Settings& settings);

// "終了=Escape 一時停止=p …": what works only while a window of the player's
// has the keyboard, or what the desktop made of the registration.
std::string DescribeShortcuts(const std::vector<KeysetShortcut>& shortcuts);

}  // namespace qorve
