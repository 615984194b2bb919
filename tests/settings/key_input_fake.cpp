#include "settings/key_input_fake.h"

namespace qorve::test {

void SharedKeys::Press(int code) {
  pressedSincePoll[code] = true;
  down[code] = true;
}

void SharedKeys::Release(int code) { down[code] = false; }

void SharedKeys::Tap(int code) { pressedSincePoll[code] = true; }

int16_t SharedKeysInput::GetAsyncKeyState(int virtualKey) {
  if (virtualKey < 0 || virtualKey > 255) return 0;
  const bool pressed = keys_->pressedSincePoll[virtualKey].exchange(false);
  return static_cast<int16_t>((keys_->down[virtualKey] ? 0x8000 : 0) | (pressed ? 1 : 0));
}

}  // namespace qorve::test
