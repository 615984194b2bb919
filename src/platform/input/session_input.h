// The program's input: what the polled backend (X11, when an X server
// answers) reports, together with what arrives as events: the desktop's
// global shortcuts, and Qt's events on the program's own windows where the
// backend cannot see them (a Wayland session without X, or windows that are
// not X windows). A key reads down while any of them holds it and pressed
// when any of them pressed it since its previous poll, so the controller
// polls one state whichever way a key came. The polled cursor is turned from
// the X server's pixels into the windows' logical pixels here, and only here.
// User-interface thread only.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/input/input.h"

namespace qorve {

class SessionInput final : public InputPoller {
 public:
  // `polled` may be null: then only fed input exists.
  explicit SessionInput(std::unique_ptr<InputPoller> polled);

  int16_t GetAsyncKeyState(int virtualKey) override;
  bool GetCursorPos(int& x, int& y) override;
  int EventDescriptor() const override;
  void WatchEventDescriptor() override;
  void InputArrived() override;

  void FeedKey(int virtualKey, bool down, FeedSource source) override;
  void ReleaseFed(FeedSource source) override;
  void FeedCursor(int x, int y) override;
  void UseWindowEventsForPointer() override { pointerFromWindows_ = true; }
  void SetScreens(std::vector<ScreenScale> screens) override { screens_ = std::move(screens); }

  bool HasPolledBackend() const { return polled_ != nullptr; }

 private:
  static uint8_t Bit(FeedSource source) { return source == FeedSource::kShortcut ? 1 : 2; }

  std::unique_ptr<InputPoller> polled_;
  std::array<uint8_t, 256> heldBy_{};      // per key: the sources holding it down
  std::array<bool, 256> pressedSincePoll_{};
  int cursorX_ = 0, cursorY_ = 0;
  bool cursorFed_ = false;
  bool pointerFromWindows_ = false;
  std::vector<ScreenScale> screens_;  // empty: the polled pixels are taken as they are
};

}  // namespace qorve
