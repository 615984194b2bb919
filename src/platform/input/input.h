// platform/input/: the polling of keys, buttons and the cursor.
//
// System-wide polling of keys, mouse buttons and the cursor, in the shape of
// GetAsyncKeyState and GetCursorPos.
//
// Backends: X11 (our own display connection; XInput2 raw events supply the
// "pressed since the previous poll" bit) and a scripted backend for tests.
// SystemInput() polls X11 when $DISPLAY opens and adds what arrives as events
// (global shortcuts, and Qt's events on the program's own windows where the X
// server cannot see them); see session_input.h. User-interface thread only.
#pragma once

#include "platform/input/screen_scale.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace qorve {

// Windows virtual-key codes the player uses by name.
enum VirtualKey : int {
  kVkLButton = 0x01,
  kVkRButton = 0x02,
  kVkMButton = 0x04,
  kVkSpace = 0x20,
  kVkEscape = 0x1B,
  kVkLeft = 0x25,
  kVkRight = 0x27,
  kVkAdd = 0x6B,
  kVkSubtract = 0x6D,
  kVkF4 = 0x73,
};

// Whether a virtual-key code is a mouse button (left, right, middle and the
// two side buttons) rather than a key of the keyboard.
constexpr bool IsMouseButtonKey(int virtualKey) {
  return virtualKey >= 1 && virtualKey <= 6 && virtualKey != 3;  // 3 is VK_CANCEL
}

// Where a key that arrives as an event comes from: a global shortcut the
// desktop reports, or an event on one of the program's own windows.
enum class FeedSource { kShortcut, kWindow };

class InputPoller {
 public:
  virtual ~InputPoller() = default;
  // Bit 15 (0x8000): the key is down now. Bit 0: it was pressed since the
  // previous call for this key. 0 for unknown keys.
  virtual int16_t GetAsyncKeyState(int virtualKey) = 0;
  // Screen coordinates of the cursor; false when unknown (x, y unchanged).
  // A backend that polls the X server reports the server's (device) pixels;
  // SystemInput() reports the logical pixels the windows' geometry is in
  // once it knows the screens (SetScreens).
  virtual bool GetCursorPos(int& x, int& y) = 0;

  // A descriptor that turns readable when input events arrive, or -1. An
  // event loop that watches it says so once with WatchEventDescriptor() and
  // then calls InputArrived() whenever it is readable; the backend then no
  // longer looks at the descriptor itself on every poll (one system call less
  // a poll).
  virtual int EventDescriptor() const { return -1; }
  virtual void WatchEventDescriptor() {}
  virtual void InputArrived() {}

  // Input that arrives as events instead of being polled. A key fed down
  // reads as down and as pressed since the previous poll, as a polled press
  // does; fed up, it reads up once every source has let it go. The
  // defaults ignore it.
  virtual void FeedKey(int /*virtualKey*/, bool /*down*/, FeedSource /*source*/) {}
  // Lets go of every key `source` holds (its window lost the keyboard).
  virtual void ReleaseFed(FeedSource /*source*/) {}
  // The cursor's screen position as the program's own windows saw it.
  virtual void FeedCursor(int /*x*/, int /*y*/) {}
  // From now on the cursor and the mouse buttons come from the window
  // events fed in, not from the polled backend: it cannot see the
  // program's windows (no X server, or windows that are not X windows).
  virtual void UseWindowEventsForPointer() {}
  // The screens' places in the polled backend's pixels and their ratios:
  // from now on the polled cursor is reported in logical pixels. Positions
  // fed from window events are logical already and are left alone.
  virtual void SetScreens(std::vector<ScreenScale> /*screens*/) {}
};

std::unique_ptr<InputPoller> CreateX11Input();  // null without a display
std::unique_ptr<InputPoller> CreateIdleInput();  // every key up, cursor unknown

InputPoller& SystemInput();
void SetSystemInputForTesting(std::unique_ptr<InputPoller> input);

// Scripted input for tests: keys go down and up when the test says.
class ScriptedInput final : public InputPoller {
 public:
  void Press(int virtualKey);    // goes down, and counts as pressed since the last poll
  void Release(int virtualKey);  // goes up (a press not yet polled still counts)
  void Tap(int virtualKey);      // pressed and released between two polls
  void SetCursor(int x, int y);
  int16_t GetAsyncKeyState(int virtualKey) override;
  bool GetCursorPos(int& x, int& y) override;
  void FeedKey(int virtualKey, bool down, FeedSource) override { down ? Press(virtualKey) : Release(virtualKey); }
  void FeedCursor(int x, int y) override { SetCursor(x, y); }

 private:
  bool down_[256] = {};
  bool pressedSincePoll_[256] = {};
  int x_ = 0, y_ = 0;
  bool cursorKnown_ = false;
};

}  // namespace qorve
