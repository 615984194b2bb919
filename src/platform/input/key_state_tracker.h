// The held and "pressed since this key's previous poll" state of every virtual
// key, kept from X key and button events or from snapshots of the server's state.
// Plain bookkeeping without a display; one thread (the poller's) only.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <span>

#include "platform/input/virtual_key_map.h"

namespace qorve {

class KeyStateTracker {
 public:
  // Which virtual keys each keycode stands for. Keys already down stay down:
  // a mapping change does not lose or invent presses.
  void SetKeycodeTable(const KeycodeTable& table);

  // A key or physical pointer button went down (an auto-repeated press counts
  // as another press, as it does for the Windows poll) or up.
  void KeyPressed(int keycode);
  void KeyReleased(int keycode);
  void ButtonPressed(int button);
  void ButtonReleased(int button);

  // Snapshots of the server's state: every keycode (the 32 bytes of
  // XQueryKeymap, bit k % 8 of byte k / 8 for keycode k), or one physical
  // pointer button. A key found down that was up counts as pressed only when
  // `countAsPress` is true (not at start, where keys already held are no presses).
  void SyncKeycodes(std::span<const uint8_t, 32> keysDown, bool countAsPress);
  void SyncButton(int button, bool down, bool countAsPress);

  // Bit 15 (0x8000): the key is down now. Bit 0: it went down since the
  // previous Poll of this same key, which the call clears. 0 for codes
  // outside 1..255.
  int16_t Poll(int virtualKey);

 private:
  static constexpr int kButtons = 32;

  void SetSource(const VirtualKeysOfKeycode& keys, bool& sourceDown, bool down, bool press);
  void CountDownSources();

  KeycodeTable table_{};
  std::array<bool, 256> keycodeDown_{};
  std::array<bool, kButtons> buttonDown_{};
  // Per virtual key: how many keycodes and buttons standing for it are down.
  std::array<uint8_t, 256> downSources_{};
  std::bitset<256> pressed_;
};

}  // namespace qorve
