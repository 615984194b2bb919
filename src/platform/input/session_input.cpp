#include "platform/input/session_input.h"

namespace qorve {
namespace {

bool ValidKey(int virtualKey) { return virtualKey > 0 && virtualKey < 256; }

}  // namespace

SessionInput::SessionInput(std::unique_ptr<InputPoller> polled) : polled_(std::move(polled)) {}

int16_t SessionInput::GetAsyncKeyState(int virtualKey) {
  if (!ValidKey(virtualKey)) return 0;
  // Buttons the backend reports would be clicks elsewhere on the screen, not
  // on the windows whose events stand in for it.
  const bool polledCounts = polled_ && !(pointerFromWindows_ && IsMouseButtonKey(virtualKey));
  int16_t state = polledCounts ? polled_->GetAsyncKeyState(virtualKey) : 0;
  if (heldBy_[virtualKey] != 0) state |= static_cast<int16_t>(0x8000);
  if (pressedSincePoll_[virtualKey]) state |= 1;
  pressedSincePoll_[virtualKey] = false;
  return state;
}

bool SessionInput::GetCursorPos(int& x, int& y) {
  if (polled_ && !pointerFromWindows_) {
    int polledX = 0, polledY = 0;
    if (!polled_->GetCursorPos(polledX, polledY)) return false;
    DeviceToLogical(polledX, polledY, screens_);
    x = polledX;
    y = polledY;
    return true;
  }
  if (!cursorFed_) return false;
  x = cursorX_;
  y = cursorY_;
  return true;
}

int SessionInput::EventDescriptor() const { return polled_ ? polled_->EventDescriptor() : -1; }

void SessionInput::WatchEventDescriptor() {
  if (polled_) polled_->WatchEventDescriptor();
}

void SessionInput::InputArrived() {
  if (polled_) polled_->InputArrived();
}

void SessionInput::FeedKey(int virtualKey, bool down, FeedSource source) {
  if (!ValidKey(virtualKey)) return;
  uint8_t& holders = heldBy_[virtualKey];
  if (down) {
    // Auto-repeat sends more presses of a held key; each counts, as a
    // repeated key does for the polled backend.
    holders |= Bit(source);
    pressedSincePoll_[virtualKey] = true;
  } else {
    holders &= static_cast<uint8_t>(~Bit(source));
  }
}

void SessionInput::ReleaseFed(FeedSource source) {
  for (uint8_t& holders : heldBy_) holders &= static_cast<uint8_t>(~Bit(source));
}

void SessionInput::FeedCursor(int x, int y) {
  cursorX_ = x;
  cursorY_ = y;
  cursorFed_ = true;
}

}  // namespace qorve
