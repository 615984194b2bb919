#include "player/core/desktop/keyset_shortcuts.h"

#include <algorithm>
#include <cctype>

#include "common/keyset_commands.h"
#include "platform/input/input.h"
#include "platform/input/virtual_key_map.h"

namespace qorve {
namespace {

// Shift, Control, Alt, and their left and right keys, and the Windows keys:
// a trigger of a modifier alone means nothing to a shortcut service.
bool IsModifier(int virtualKey) {
  return (virtualKey >= 0x10 && virtualKey <= 0x12) || (virtualKey >= 0xA0 && virtualKey <= 0xA5) ||
         virtualKey == 0x5B || virtualKey == 0x5C;
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

}  // namespace

bool IsKeyboardKey(int virtualKey) { return virtualKey > 0 && virtualKey <= 0xFF && !IsMouseButtonKey(virtualKey); }

std::string ShortcutTrigger(int virtualKey) {
  if (virtualKey <= 0 || virtualKey > 0xFF || IsMouseButtonKey(virtualKey) || IsModifier(virtualKey)) return {};
  return KeyboardKeyName(virtualKey);
}

std::vector<KeysetShortcut> KeysetShortcuts(const Settings& settings) {
  std::vector<KeysetShortcut> shortcuts;
  for (const KeysetCommand& command : KeysetCommands()) {
    const int key = settings.*command.key;
    if (!IsKeyboardKey(key)) continue;
    shortcuts.push_back({Lower(command.name), command.label, ShortcutTrigger(key), command.key});
  }
  return shortcuts;
}

std::string DescribeShortcuts(const std::vector<KeysetShortcut>& shortcuts) {
  std::string text;
  for (const KeysetShortcut& shortcut : shortcuts) {
    if (!text.empty()) text += ' ';
    text += shortcut.description + "=" + (shortcut.trigger.empty() ? "-" : shortcut.trigger);
  }
  return text;
}

}  // namespace qorve
