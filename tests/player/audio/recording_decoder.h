// A stand-in decoder for the wave-out engine tests: its fill procedure writes a
// running 32-bit counter (so every byte of the stream is distinct and its place
// known) and records each call: which buffer, how many bytes, on which thread,
// and where the virtual device stood at that moment.
#pragma once

#include "platform/audio/wave_out_virtual.h"
#include "player/audio/wave_out_stream.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace qorve::test {

class RecordingDecoder {
 public:
  struct Call {
    uint8_t* buffer;
    uint32_t bytes;
    uint32_t devicePosition;
    std::thread::id thread;
  };

  // `card` may be null (no position recorded); writeCounter false leaves the
  // buffers untouched (for gigabyte runs).
  explicit RecordingDecoder(VirtualSoundCard* card = nullptr, bool writeCounter = true);

  FillProc Proc();

  std::vector<Call> Calls() const;
  size_t CallCount() const;
  // Waits until at least `count` calls have returned; false on time-out.
  bool WaitForCalls(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(20)) const;
  // Each later call sleeps this long inside the procedure.
  void SetDelay(std::chrono::milliseconds delay) { delayMs_ = static_cast<int>(delay.count()); }
  bool Inside() const { return inside_.load() > 0; }
  // The most calls that were ever inside the procedure at once.
  int MostAtOnce() const { return mostAtOnce_.load(); }
  // Calls that returned after this flag was raised (see RaiseFlag).
  void RaiseFlag() { flag_.store(true); }
  int CallsReturnedAfterFlag() const { return afterFlag_.load(); }

  // Bytes [from, from + count) of the counter stream the procedure writes.
  static std::vector<uint8_t> CounterStream(uint64_t from, uint64_t count);

 private:
  void Fill(uint8_t* buffer, uint32_t bytes);

  VirtualSoundCard* card_;
  const bool writeCounter_;
  mutable std::mutex mutex_;
  mutable std::condition_variable returned_;
  std::vector<Call> calls_;
  size_t returnedCount_ = 0;
  uint64_t streamBytes_ = 0;  // bytes of the counter stream written so far
  std::atomic<int> delayMs_{0};
  std::atomic<int> inside_{0};
  std::atomic<int> mostAtOnce_{0};
  std::atomic<bool> flag_{false};
  std::atomic<int> afterFlag_{0};
};

}  // namespace qorve::test
