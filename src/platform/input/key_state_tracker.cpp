#include "platform/input/key_state_tracker.h"

namespace qorve {
namespace {

bool ValidKeycode(int keycode) {
  return keycode >= 0 && keycode < 256;
}

VirtualKeysOfKeycode KeysOfButton(int button) {
  return {static_cast<uint8_t>(VirtualKeyOfPointerButton(button)), 0, 0, 0};
}

}  // namespace

void KeyStateTracker::SetKeycodeTable(const KeycodeTable& table) {
  table_ = table;
  CountDownSources();
}

void KeyStateTracker::CountDownSources() {
  downSources_.fill(0);
  for (int keycode = 0; keycode < 256; ++keycode) {
    if (!keycodeDown_[keycode]) continue;
    for (uint8_t vk : table_[keycode]) {
      if (vk != 0) ++downSources_[vk];
    }
  }
  for (int button = 1; button < kButtons; ++button) {
    const int vk = VirtualKeyOfPointerButton(button);
    if (buttonDown_[button] && vk != 0) ++downSources_[vk];
  }
}

void KeyStateTracker::SetSource(const VirtualKeysOfKeycode& keys, bool& sourceDown, bool down, bool press) {
  for (uint8_t vk : keys) {
    if (vk == 0) continue;
    if (press) pressed_.set(vk);
    if (sourceDown != down) {
      if (down) {
        ++downSources_[vk];
      } else if (downSources_[vk] > 0) {
        --downSources_[vk];
      }
    }
  }
  sourceDown = down;
}

void KeyStateTracker::KeyPressed(int keycode) {
  if (ValidKeycode(keycode)) SetSource(table_[keycode], keycodeDown_[keycode], true, true);
}

void KeyStateTracker::KeyReleased(int keycode) {
  if (ValidKeycode(keycode)) SetSource(table_[keycode], keycodeDown_[keycode], false, false);
}

void KeyStateTracker::ButtonPressed(int button) {
  if (button > 0 && button < kButtons) SetSource(KeysOfButton(button), buttonDown_[button], true, true);
}

void KeyStateTracker::ButtonReleased(int button) {
  if (button > 0 && button < kButtons) SetSource(KeysOfButton(button), buttonDown_[button], false, false);
}

void KeyStateTracker::SyncKeycodes(std::span<const uint8_t, 32> keysDown, bool countAsPress) {
  for (int keycode = 0; keycode < 256; ++keycode) {
    const bool down = (keysDown[keycode / 8] >> (keycode % 8)) & 1;
    if (down == keycodeDown_[keycode]) continue;
    SetSource(table_[keycode], keycodeDown_[keycode], down, down && countAsPress);
  }
}

void KeyStateTracker::SyncButton(int button, bool down, bool countAsPress) {
  if (button <= 0 || button >= kButtons || down == buttonDown_[button]) return;
  SetSource(KeysOfButton(button), buttonDown_[button], down, down && countAsPress);
}

int16_t KeyStateTracker::Poll(int virtualKey) {
  if (virtualKey <= 0 || virtualKey > 255) return 0;
  uint16_t state = downSources_[virtualKey] > 0 ? 0x8000u : 0u;
  if (pressed_.test(virtualKey)) state |= 1u;
  pressed_.reset(virtualKey);
  return static_cast<int16_t>(state);
}

}  // namespace qorve
