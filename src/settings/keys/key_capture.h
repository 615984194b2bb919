// The key-capture thread of the key-binding dialog: it waits 500 ms (so that
// the key or click that started it is over), then polls the keyboard
// system-wide every millisecond until a bindable key is pressed and reports
// that key once. Mouse buttons and the Japanese mode keys are not polled; the
// capture dialog has buttons for them. Plain C++.
//
// Threads: construct, Stop() and destroy on the user-interface thread. The
// input factory and the report run on the capture thread; the report must
// only hand the code over (for example post it to the dialog), never block on
// the user-interface thread.
#pragma once

#include "platform/input/input.h"

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace qorve {

class KeyCapture {
 public:
  using InputFactory = std::function<std::unique_ptr<InputPoller>()>;
  using Report = std::function<void(int code)>;

  static constexpr int kSettleMilliseconds = 500;

  // Starts the thread. `makeInput` gives the poller the thread owns (each
  // capture its own, as pollers are single-threaded); null means no key is ever seen.
  KeyCapture(InputFactory makeInput, Report report);
  ~KeyCapture();
  KeyCapture(const KeyCapture&) = delete;
  KeyCapture& operator=(const KeyCapture&) = delete;

  // Ends the capture and waits for the thread. Once it returns, the report
  // has either run to its end or will never run.
  void Stop();

  // Whether a polled code counts: bindable, and not a mouse button nor one of
  // the keys whose state cannot be polled reliably (英数, ひらがな, 半角/全角).
  static bool IsCapturedCode(int code);

 private:
  void Run(std::stop_token stop, InputFactory makeInput, Report report);

  std::mutex mutex_;  // only for the waits of the capture thread
  std::condition_variable_any wake_;
  std::jthread thread_;
};

}  // namespace qorve
