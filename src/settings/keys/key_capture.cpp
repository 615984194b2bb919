#include "settings/keys/key_capture.h"

#include "settings/keys/key_names.h"

#include <chrono>

namespace qorve {

KeyCapture::KeyCapture(InputFactory makeInput, Report report)
    : thread_([this](std::stop_token stop, InputFactory factory, Report sink) {
        Run(stop, std::move(factory), std::move(sink));
      }, std::move(makeInput), std::move(report)) {}

KeyCapture::~KeyCapture() { Stop(); }

void KeyCapture::Stop() {
  if (!thread_.joinable()) return;
  thread_.request_stop();
  thread_.join();
}

bool KeyCapture::IsCapturedCode(int code) {
  switch (code) {
    case kVkLButton:
    case kVkRButton:
    case kVkMButton:
    case 240:  // 英数 (Caps Lock on a Japanese keyboard)
    case 242:  // ひらがな
    case 243:  // 半角/全角
      return false;
    default:
      return code >= 0 && code <= 254 && IsBindableKey(code);
  }
}

void KeyCapture::Run(std::stop_token stop, InputFactory makeInput, Report report) {
  std::unique_ptr<InputPoller> input = makeInput ? makeInput() : nullptr;
  std::unique_lock lock(mutex_);
  // Returns false once a stop was asked for.
  auto pause = [&](std::chrono::milliseconds length) {
    return !wake_.wait_for(lock, stop, length, [] { return false; }) && !stop.stop_requested();
  };
  if (!pause(std::chrono::milliseconds(kSettleMilliseconds)) || !input) return;
  // Presses made while settling do not count: one poll clears their marks.
  for (int code = 0; code <= 254; ++code) {
    if (IsCapturedCode(code)) input->GetAsyncKeyState(code);
  }
  while (pause(std::chrono::milliseconds(1))) {
    for (int code = 0; code <= 254; ++code) {
      if (!IsCapturedCode(code)) continue;
      // Down now, or pressed and released since the previous poll (a tap
      // shorter than a millisecond is still a key the user pressed).
      if (input->GetAsyncKeyState(code) & 0x8001) {
        lock.unlock();
        report(code);
        return;
      }
    }
  }
}

}  // namespace qorve
