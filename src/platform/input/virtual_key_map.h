// The one table between Windows virtual-key codes and what an X server reports:
// keysyms (resolved to the keycodes of the current keyboard mapping) and pointer buttons.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace qorve {

// The first two levels of a keycode's first group, as the core keyboard mapping
// lists them: what the key gives unshifted and with Shift. 0 is NoSymbol.
struct KeycodeSymbols {
  uint32_t unshifted = 0;
  uint32_t shifted = 0;
};

// The virtual keys one X keycode stands for, 0 marking unused slots. A key can
// stand for several: the left Shift key is both VK_LSHIFT and VK_SHIFT.
using VirtualKeysOfKeycode = std::array<uint8_t, 4>;
// Indexed by X keycode (0..255).
using KeycodeTable = std::array<VirtualKeysOfKeycode, 256>;

// Builds the keycode table for a keyboard mapping whose entries start at
// `firstKeycode` (the server's minimum keycode). Keycodes outside 0..255 are
// ignored. Layout-dependent keys (the punctuation keys) get the code Windows
// gives them on the layout the pair of symbols reveals, so a Japanese
// ";+" key is VK_OEM_PLUS while a US ";:" key is VK_OEM_1.
KeycodeTable MapKeycodes(int firstKeycode, std::span<const KeycodeSymbols> symbols);

// The virtual keys a key giving `keysym` stands for (a key event's symbol,
// whatever the shift state: "P" and "p" are both the P key).
VirtualKeysOfKeycode VirtualKeysOfKeysym(uint32_t keysym);

// The virtual key of a physical X pointer button (1 left, 2 middle, 3 right,
// 8 and 9 the side buttons), 0 for buttons without one (the wheel, 4 to 7).
int VirtualKeyOfPointerButton(int button);

// The X keyboard's name of the key a virtual-key code stands for: the name of
// the keysym the table gives the code ("KP_1", "BackSpace"), reading the
// layout-dependent keys as a Japanese keyboard has them. Empty for codes no
// key gives.
std::string KeyboardKeyName(int virtualKey);

}  // namespace qorve
