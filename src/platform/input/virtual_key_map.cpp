#include "platform/input/virtual_key_map.h"

#include <X11/XF86keysym.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace qorve {
namespace {

enum class Level : uint8_t {
  kUnshifted,  // only the key's unshifted symbol counts
  kEither,     // the unshifted or the shifted symbol (digits on AZERTY, the numeric pad)
};

// One line of the table: a key whose symbol is `keysym` at `level` stands for
// `vk` and, when not 0, for the generic code `genericVk` as well.
struct KeyEntry {
  uint32_t keysym;
  Level level;
  uint8_t vk;
  uint8_t genericVk = 0;
  // When not 0, the key's shifted symbol must be this one.
  uint32_t shiftedMustBe = 0;
  // Taken only when no earlier line matched the key: the usual reading of a
  // symbol that one layout gives another meaning by its shifted symbol.
  bool otherwise = false;
};

constexpr Level U = Level::kUnshifted;
constexpr Level E = Level::kEither;

// Ranges of consecutive keysyms and codes.
struct KeyRange {
  uint32_t firstKeysym;
  uint8_t firstVk;
  uint8_t count;
  Level level;
};

constexpr KeyRange kRanges[] = {
    {XK_a, 0x41, 26, U},     // letters A-Z
    {XK_0, 0x30, 10, E},     // digits, shifted on AZERTY layouts
    {XK_F1, 0x70, 24, U},    // F1-F24
    {XK_KP_0, 0x60, 10, E},  // numeric pad digits (shifted while Num Lock is off)
};

// The numeric pad's navigation symbols (KP_Home, KP_End...) stand for nothing:
// the pad keys are the numeric pad codes whatever the Num Lock state.
constexpr KeyEntry kEntries[] = {
    // Layout-dependent punctuation: a Japanese keyboard first, then the rest.
    {XK_semicolon, U, 0xBB, 0, XK_plus},  // Japanese ";+"
    {XK_semicolon, U, 0xBA, 0, 0, true},  // ";:" and others
    {XK_colon, U, 0xBA},                  // Japanese ":*"
    {XK_equal, U, 0xBB},
    {XK_comma, U, 0xBC},
    {XK_minus, U, 0xBD},
    {XK_period, U, 0xBE},
    {XK_slash, U, 0xBF},
    {XK_grave, U, 0xC0},
    {XK_at, U, 0xC0},  // Japanese "@`"
    {XK_bracketleft, U, 0xDB},
    {XK_backslash, U, 0xE2, 0, XK_underscore},  // Japanese "\_" (ro)
    {XK_backslash, U, 0xDC, 0, 0, true},
    {XK_yen, U, 0xDC},
    {XK_bracketright, U, 0xDD},
    {XK_apostrophe, U, 0xDE},
    {XK_asciicircum, U, 0xDE},  // Japanese "^~"
    {XK_less, U, 0xE2},         // the extra key of 102/105-key layouts

    {XK_BackSpace, U, 0x08},
    {XK_Tab, U, 0x09},
    {XK_Clear, U, 0x0C},
    {XK_Return, U, 0x0D},
    {XK_KP_Enter, U, 0x0D, 0x6C},  // also the "NUM ENTER" code users pick from the key list
    {XK_Shift_L, U, 0xA0, 0x10},
    {XK_Shift_R, U, 0xA1, 0x10},
    {XK_Control_L, U, 0xA2, 0x11},
    {XK_Control_R, U, 0xA3, 0x11},
    {XK_Alt_L, U, 0xA4, 0x12},
    {XK_Alt_R, U, 0xA5, 0x12},
    {XK_ISO_Level3_Shift, U, 0xA5, 0x12},  // AltGr
    {XK_Pause, U, 0x13},
    {XK_Caps_Lock, U, 0x14},
    {XK_Henkan_Mode, U, 0x1C},
    {XK_Muhenkan, U, 0x1D},
    {XK_Escape, U, 0x1B},
    {XK_space, U, 0x20},
    {XK_Prior, U, 0x21},
    {XK_Next, U, 0x22},
    {XK_End, U, 0x23},
    {XK_Home, U, 0x24},
    {XK_Left, U, 0x25},
    {XK_Up, U, 0x26},
    {XK_Right, U, 0x27},
    {XK_Down, U, 0x28},
    {XK_Select, U, 0x29},
    {XK_Execute, U, 0x2B},
    {XK_Print, U, 0x2C},
    {XK_Insert, U, 0x2D},
    {XK_Delete, U, 0x2E},
    {XK_Help, U, 0x2F},
    {XK_Super_L, U, 0x5B},
    {XK_Super_R, U, 0x5C},
    {XK_Menu, U, 0x5D},
    {XK_KP_Multiply, U, 0x6A},
    {XK_KP_Add, U, 0x6B},
    {XK_KP_Separator, E, 0x6C},
    {XK_KP_Subtract, U, 0x6D},
    {XK_KP_Decimal, E, 0x6E},
    {XK_KP_Divide, U, 0x6F},
    {XK_Num_Lock, U, 0x90},
    {XK_Scroll_Lock, U, 0x91},
    {XF86XK_HomePage, U, 0xAC},
    {XF86XK_AudioMute, U, 0xAD},
    {XF86XK_AudioLowerVolume, U, 0xAE},
    {XF86XK_AudioRaiseVolume, U, 0xAF},
    {XF86XK_AudioNext, U, 0xB0},
    {XF86XK_AudioPrev, U, 0xB1},
    {XF86XK_AudioStop, U, 0xB2},
    {XF86XK_AudioPlay, U, 0xB3},
    {XF86XK_AudioPause, U, 0xB3},
    {XF86XK_Mail, U, 0xB4},
    {XF86XK_AudioMedia, U, 0xB5},
    {XF86XK_MyComputer, U, 0xB6},
    {XF86XK_Calculator, U, 0xB7},
    {XK_Eisu_toggle, U, 0xF0},        // Japanese "英数"
    {XK_Hiragana_Katakana, U, 0xF2},  // Japanese "ひらがな"
    {XK_Zenkaku_Hankaku, U, 0xF3},    // Japanese "半角/全角"
};

bool SymbolMatches(uint32_t keysym, Level level, const KeycodeSymbols& key) {
  if (keysym == 0) return false;
  return key.unshifted == keysym || (level == Level::kEither && key.shifted == keysym);
}

void AddVirtualKey(VirtualKeysOfKeycode& slots, uint8_t vk) {
  if (vk == 0) return;
  for (uint8_t& slot : slots) {
    if (slot == vk) return;
    if (slot == 0) {
      slot = vk;
      return;
    }
  }
}

VirtualKeysOfKeycode VirtualKeysOf(const KeycodeSymbols& key) {
  VirtualKeysOfKeycode slots{};
  for (const KeyRange& range : kRanges) {
    for (uint8_t i = 0; i < range.count; ++i) {
      if (SymbolMatches(range.firstKeysym + i, range.level, key)) AddVirtualKey(slots, range.firstVk + i);
    }
  }
  for (const KeyEntry& entry : kEntries) {
    if (entry.otherwise && slots[0] != 0) continue;
    if (!SymbolMatches(entry.keysym, entry.level, key)) continue;
    if (entry.shiftedMustBe != 0 && key.shifted != entry.shiftedMustBe) continue;
    AddVirtualKey(slots, entry.vk);
    AddVirtualKey(slots, entry.genericVk);
  }
  return slots;
}

}  // namespace

KeycodeTable MapKeycodes(int firstKeycode, std::span<const KeycodeSymbols> symbols) {
  KeycodeTable table{};
  for (size_t i = 0; i < symbols.size(); ++i) {
    const long keycode = firstKeycode + static_cast<long>(i);
    if (keycode < 0 || keycode >= static_cast<long>(table.size())) continue;
    table[keycode] = VirtualKeysOf(symbols[i]);
  }
  return table;
}

VirtualKeysOfKeycode VirtualKeysOfKeysym(uint32_t keysym) {
  if (keysym >= XK_A && keysym <= XK_Z) keysym += XK_a - XK_A;
  return VirtualKeysOf(KeycodeSymbols{keysym, keysym});
}

int VirtualKeyOfPointerButton(int button) {
  switch (button) {
    case 1: return 0x01;  // left
    case 2: return 0x04;  // middle
    case 3: return 0x02;  // right
    case 8: return 0x05;  // first side button (back)
    case 9: return 0x06;  // second side button (forward)
    default: return 0;
  }
}

std::string KeyboardKeyName(int virtualKey) {
  if (virtualKey <= 0 || virtualKey > 0xFF) return {};
  uint32_t keysym = 0;
  for (const KeyRange& range : kRanges) {
    if (virtualKey >= range.firstVk && virtualKey < range.firstVk + range.count) {
      keysym = range.firstKeysym + static_cast<uint32_t>(virtualKey - range.firstVk);
    }
  }
  // A line that is not only the fallback reading names the key first.
  for (const bool fallback : {false, true}) {
    for (const KeyEntry& entry : kEntries) {
      if (keysym != 0) break;
      if (entry.otherwise != fallback) continue;
      if (entry.vk == virtualKey || entry.genericVk == virtualKey) keysym = entry.keysym;
    }
  }
  if (keysym == 0) return {};
  const char* name = XKeysymToString(keysym);
  return name ? name : "";
}

}  // namespace qorve
