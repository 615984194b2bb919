// player/audio/: the wave-out engine.
//
// WaveOutStream: the PCM output engine of every decoder of our own. A ring of N
// equal buffers is played through one wave-out device, pass after pass; a
// worker thread (StreamThread) watches the bytes played and has the owning
// decoder refill each buffer once it has been heard.
//
// Threads. Every public operation is called on the owner's thread (the
// user-interface thread of the media object); StreamThread runs from Open to
// Close. What the two share:
// - `command_` and `state_` are atomics (the owner writes, the worker reads and
//   clears a reset);
// - the ring, the current index, the header and every call of the fill
//   procedure or of the device except GetPosition are under `tickMutex_`: the
//   worker holds it for one poll (at most one tick), and Pause, Stop and Seek
//   hold it for their device calls and refills. So the fill procedure never
//   runs on two threads at once, and once Pause or Stop returns the worker is
//   not inside it and will not call it again until the next Seek: the owner may
//   then position its decoder freely;
// - the device reports its position to both threads (it serialises itself);
// - between polls the worker sleeps on `wakeSignal_`: 1 ms, or, on a device
//   that keeps real time, until the next tick is due; every command and change
//   of state wakes it at once.
// Everything else (time offset, format, N, S) belongs to the owner's thread, or
// is set before the worker starts and read-only while it runs.
#pragma once

#include "platform/audio/wave_out.h"

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace qorve {

// The decoder's refill procedure: writes exactly `bytes` bytes of PCM in the
// opened format into `buffer` (silence or whatever its class says past the end
// of its data). It is called on the owner's thread during Open and Seek and on
// StreamThread at ticks, never on two at once, and never after Close returns.
using FillProc = std::function<void(uint8_t* buffer, uint32_t bytes)>;

class WaveOutStream {
 public:
  enum State : int32_t { Stopped = 0, Playing = 1, Paused = 2 };

  static constexpr int32_t kMaxBuffers = 8;

  WaveOutStream();
  // Closes the stream if the owner has not.
  ~WaveOutStream();
  WaveOutStream(const WaveOutStream&) = delete;
  WaveOutStream& operator=(const WaveOutStream&) = delete;

  // Buffer count and size in bytes for the next Open; ignored once a device is
  // open. 0 means the default (8 buffers; one second each). Open takes a count
  // outside 0..8 or a size below 0 as the default too.
  void SetBuffers(int count, int bytes);

  // Opens the device, fills the whole ring and starts the worker; no sound yet
  // (state Stopped). 0 on success; -1 when the device cannot be opened (its
  // code is logged as "waveOutOpen Error", followed by the device's own
  // account of which device and why, when it gives one), when the ring
  // cannot be allocated ("HeapAlloc Error" with its size), when the stream is
  // already open (MMSYSERR_ALLOCATED) or `fill` is empty (MMSYSERR_INVALPARAM).
  // Nothing is left behind by a failure; OpenError tells the causes apart.
  int Open(const WAVEFORMATEX& format, FillProc fill);
  // Why the last Open failed, MMSYSERR_NOERROR after one that succeeded (or
  // before any): WAVERR_BADFORMAT for a format no device plays,
  // MMSYSERR_NOMEM when the ring or the worker could not be had,
  // MMSYSERR_INVALPARAM without a fill procedure, MMSYSERR_ALLOCATED when the
  // stream was already open; any other code is the device's own: it could
  // not be opened (no driver or card, held by another program, ...).
  MMRESULT OpenError() const { return openError_; }

  // Resumes the device and queues one whole pass of the ring; state Playing.
  // Seek calls it; a stream that is not open ignores it.
  void Play();
  // State Paused, then the device pauses (its position freezes).
  void Pause();
  // State Stopped; the device drops what is queued and its position returns to
  // 0; time offset 0; the worker is told to reset its tick counters.
  void Stop();
  // Time offset = seconds; the device is reset, the whole ring refilled from
  // the decoder on this thread, and one pass queued: sound restarts from the
  // new position, also when paused.
  void Seek(double seconds);

  // Seconds: the device's 32-bit byte position ÷ bytes per second + time offset.
  double GetPos();
  int GetState() const;

  // Ends the worker (waiting for a fill in progress to return), frees the ring
  // and closes the device ("waveOutClose Error" with its code when that fails,
  // also when no device was open). The stream may then be opened again.
  void Close();

 private:
  enum Command : int32_t { kRun = 0, kQuit = 1, kResetTicks = 2 };

  void StreamThread();
  // How long the worker may sleep after a poll: until the next tick is due
  // when the device keeps real time (at most kLongestWait), else 1 ms, or not
  // at all when the device is already past the next tick.
  std::chrono::milliseconds WaitAfterPoll(uint32_t position, uint32_t due) const;
  // Cuts the worker's sleep short: after every command and change of state.
  void WakeWorker();
  // One tick: the buffer whose turn has ended is refilled. At the tick that
  // wraps the ring the next pass is queued: the buffers before the last at
  // once, the last one once it has been refilled. Called with tickMutex_ held.
  void Tick(uint32_t& played, uint32_t& early);
  // S ÷ 32 when the current buffer is the last of the ring, else 0.
  uint32_t EarlyBytes() const;
  void PlayLocked();
  void FillRing();
  void QueueWholeRing();
  // Hands the device `length` bytes of the ring from `data`.
  void QueueSpan(const uint8_t* data, uint32_t length);
  void FreeRing();

  // The span last handed to the device: the one header of the ring.
  struct Header {
    const uint8_t* data = nullptr;
    uint32_t length = 0;
  };

  WAVEFORMATEX format_{};
  std::unique_ptr<uint8_t[]> heap_;  // the ring block, N × S bytes
  std::thread thread_;               // StreamThread
  double bytesPerSecond_ = 0;
  double timeOffset_ = 0;  // seconds that device byte 0 stands for
  int32_t bufferCount_ = 0;  // N
  int32_t bufferSize_ = 0;   // S, bytes
  std::unique_ptr<WaveOutDevice> device_;
  int32_t currentIndex_ = 0;  // ring buffer whose turn it is
  std::array<uint8_t*, kMaxBuffers> buffers_{};
  Header header_;
  FillProc fill_;
  MMRESULT openError_ = MMSYSERR_NOERROR;
  std::atomic<int32_t> command_{kRun};
  std::atomic<int32_t> state_{Stopped};

  std::mutex tickMutex_;  // see the top of this header
  // The worker sleeps on wakeSignal_ between polls; the owner sets
  // wakeRequested_ (under wakeMutex_) to end the sleep at once.
  std::mutex wakeMutex_;
  std::condition_variable wakeSignal_;
  bool wakeRequested_ = false;
  // The worker's end, which Close waits for.
  std::mutex endMutex_;
  std::condition_variable endSignal_;
  bool workerEnded_ = false;
};

}  // namespace qorve
