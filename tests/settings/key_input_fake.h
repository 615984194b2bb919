// A keyboard a test presses from its own thread while a capture thread polls
// it: every key state is atomic, and the test keeps a handle to the keys after
// the poller has been handed to the capture.
#pragma once

#include "platform/input/input.h"

#include <array>
#include <atomic>
#include <memory>

namespace qorve::test {

struct SharedKeys {
  std::array<std::atomic<bool>, 256> down{};
  std::array<std::atomic<bool>, 256> pressedSincePoll{};
  std::atomic<int> pollers{0};  // pollers made so far

  void Press(int code);
  void Release(int code);
  void Tap(int code);  // down and up between two polls
};

class SharedKeysInput final : public InputPoller {
 public:
  explicit SharedKeysInput(std::shared_ptr<SharedKeys> keys) : keys_(std::move(keys)) {}
  int16_t GetAsyncKeyState(int virtualKey) override;
  bool GetCursorPos(int&, int&) override { return false; }

 private:
  std::shared_ptr<SharedKeys> keys_;
};

// A factory for KeyCapture that hands out pollers over `keys`.
inline auto SharedKeysFactory(std::shared_ptr<SharedKeys> keys) {
  return [keys]() -> std::unique_ptr<InputPoller> {
    keys->pollers.fetch_add(1);
    return std::make_unique<SharedKeysInput>(keys);
  };
}

}  // namespace qorve::test
