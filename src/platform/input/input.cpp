#include "platform/input/input.h"

#include "platform/input/session_input.h"

#include <cstdlib>

namespace qorve {
namespace {

class IdleInput final : public InputPoller {
 public:
  int16_t GetAsyncKeyState(int) override { return 0; }
  bool GetCursorPos(int&, int&) override { return false; }
};

std::unique_ptr<InputPoller>& CurrentInput() {
  static std::unique_ptr<InputPoller> input;
  return input;
}

bool ValidKey(int virtualKey) {
  return virtualKey > 0 && virtualKey < 256;
}

}  // namespace

std::unique_ptr<InputPoller> CreateIdleInput() {
  return std::make_unique<IdleInput>();
}

InputPoller& SystemInput() {
  std::unique_ptr<InputPoller>& input = CurrentInput();
  if (!input) input = std::make_unique<SessionInput>(CreateX11Input());
  return *input;
}

void SetSystemInputForTesting(std::unique_ptr<InputPoller> input) {
  CurrentInput() = std::move(input);
}

void ScriptedInput::Press(int virtualKey) {
  if (!ValidKey(virtualKey)) return;
  down_[virtualKey] = true;
  pressedSincePoll_[virtualKey] = true;
}

void ScriptedInput::Release(int virtualKey) {
  if (ValidKey(virtualKey)) down_[virtualKey] = false;
}

void ScriptedInput::Tap(int virtualKey) {
  Press(virtualKey);
  Release(virtualKey);
}

void ScriptedInput::SetCursor(int x, int y) {
  x_ = x;
  y_ = y;
  cursorKnown_ = true;
}

int16_t ScriptedInput::GetAsyncKeyState(int virtualKey) {
  if (!ValidKey(virtualKey)) return 0;
  int16_t state = down_[virtualKey] ? static_cast<int16_t>(0x8000) : 0;
  if (pressedSincePoll_[virtualKey]) state |= 1;
  pressedSincePoll_[virtualKey] = false;
  return state;
}

bool ScriptedInput::GetCursorPos(int& x, int& y) {
  if (!cursorKnown_) return false;
  x = x_;
  y = y_;
  return true;
}

}  // namespace qorve
