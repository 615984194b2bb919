#include "player/audio/wave_out_stream.h"

#include "common/log.h"
#include "platform/system/clock.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>
#include <new>
#include <pthread.h>
#include <string>
#include <system_error>

namespace qorve {
namespace {

constexpr auto kCloseWait = std::chrono::milliseconds(50);
// The longest sleep of the worker between two looks at the device: a device
// clock that drifts from the estimate is caught up with at least this often.
// Sound cards drift by hundredths of a percent, far less than the margin a
// tick keeps before the device would run dry (31 ms of a one-second buffer).
constexpr auto kLongestWait = std::chrono::milliseconds(500);

// The seconds of a seek as the whole number the log shows.
long WholeSeconds(double seconds) {
  if (std::isnan(seconds)) return 0;
  const double limit = std::numeric_limits<int32_t>::max();
  return static_cast<long>(std::clamp(seconds, -limit, limit));
}

}  // namespace

WaveOutStream::WaveOutStream() = default;

WaveOutStream::~WaveOutStream() {
  if (device_ || thread_.joinable()) Close();
}

void WaveOutStream::SetBuffers(int count, int bytes) {
  if (device_) return;
  bufferCount_ = count;
  bufferSize_ = bytes;
}

int WaveOutStream::Open(const WAVEFORMATEX& format, FillProc fill) {
  if (device_ || thread_.joinable()) {
    openError_ = MMSYSERR_ALLOCATED;
    Log("waveOutOpen Error", MMSYSERR_ALLOCATED);
    return -1;
  }
  format_ = format;
  timeOffset_ = 0;
  fill_ = std::move(fill);
  currentIndex_ = 0;
  command_.store(kRun);

  MMRESULT result = fill_ ? CheckPcmFormat(format) : MMSYSERR_INVALPARAM;
  std::unique_ptr<WaveOutDevice> device;
  if (result == MMSYSERR_NOERROR) {
    device = CreateWaveOutDevice();
    result = device ? device->Open(format) : MMSYSERR_BADDEVICEID;
  }
  openError_ = result;
  if (result != MMSYSERR_NOERROR) {
    Log("waveOutOpen Error", static_cast<long>(result));
    // Which device, and why: the code alone cannot tell a missing sound
    // server from a card another program holds.
    if (device) {
      const std::string failure = device->OpenFailure();
      if (!failure.empty()) Log(failure, static_cast<long>(result));
    }
    return -1;
  }

  bytesPerSecond_ = static_cast<double>(format.nChannels) * (format.wBitsPerSample / 8) * format.nSamplesPerSec;
  if (bufferCount_ <= 0 || bufferCount_ > kMaxBuffers) bufferCount_ = kMaxBuffers;
  if (bufferSize_ <= 0) bufferSize_ = static_cast<int32_t>(bytesPerSecond_);

  // The ring must fit the device's 32-bit span length.
  const uint64_t ringBytes = static_cast<uint64_t>(bufferCount_) * static_cast<uint64_t>(bufferSize_);
  if (ringBytes <= std::numeric_limits<uint32_t>::max()) heap_.reset(new (std::nothrow) uint8_t[ringBytes]);
  if (!heap_) {
    device->Close();
    openError_ = MMSYSERR_NOMEM;
    Log("HeapAlloc Error", static_cast<long>(ringBytes));
    return -1;
  }
  device_ = std::move(device);
  for (int32_t i = 0; i < bufferCount_; ++i) buffers_[i] = heap_.get() + static_cast<size_t>(i) * bufferSize_;

  FillRing();
  header_ = {heap_.get(), static_cast<uint32_t>(ringBytes)};  // handed over by Play

  state_.store(Stopped);
  workerEnded_ = false;
  try {
    thread_ = std::thread(&WaveOutStream::StreamThread, this);
  } catch (const std::system_error& error) {
    Log("CreateThread Error", error.code().value());
    openError_ = MMSYSERR_NOMEM;
    FreeRing();
    device_->Close();
    device_.reset();
    return -1;
  }
  return 0;
}

void WaveOutStream::Play() {
  {
    std::lock_guard lock(tickMutex_);
    if (!device_) return;
    PlayLocked();
  }
  WakeWorker();
}

void WaveOutStream::Pause() {
  {
    std::lock_guard lock(tickMutex_);
    if (!device_) return;
    state_.store(Paused);
    device_->Pause();
  }
  WakeWorker();
}

void WaveOutStream::Stop() {
  {
    std::lock_guard lock(tickMutex_);
    state_.store(Stopped);
    if (device_) device_->Reset();
    currentIndex_ = 0;
    timeOffset_ = 0;
    command_.store(kResetTicks);
  }
  WakeWorker();
  Log("WAVEOUT - STOP", 0);
}

void WaveOutStream::Seek(double seconds) {
  {
    std::lock_guard lock(tickMutex_);
    if (!device_) return;
    timeOffset_ = seconds;
    device_->Reset();
    FillRing();
    command_.store(kResetTicks);
    currentIndex_ = 0;
    PlayLocked();
  }
  WakeWorker();
  Log("WAVEOUT - SEEK", WholeSeconds(seconds));
}

double WaveOutStream::GetPos() {
  uint32_t bytes = 0;  // 32-bit on purpose: the position wraps as the device's does
  if (device_) device_->GetPosition(bytes);
  if (bytesPerSecond_ <= 0) return timeOffset_;
  return bytes / bytesPerSecond_ + timeOffset_;
}

int WaveOutStream::GetState() const { return state_.load(); }

void WaveOutStream::Close() {
  command_.store(kQuit);
  WakeWorker();
  Log("スレッド終了設定", 0);
  if (thread_.joinable()) {
    std::unique_lock lock(endMutex_);
    if (!endSignal_.wait_for(lock, kCloseWait, [this] { return workerEnded_; })) {
      // The worker is inside the fill procedure. Freeing the ring (and the
      // owner then freeing its decoder) now would leave it writing into freed
      // memory, so wait: it leaves right after the fill returns.
      const uint32_t since = TimeGetTime();
      endSignal_.wait(lock, [this] { return workerEnded_; });
      Log("スレッド終了待ち", static_cast<long>(TimeGetTime() - since));
    }
  }
  Log("スレッド終了設定", 2);
  header_ = {};  // the device copied every span it was handed; it holds nothing of the ring
  Log("スレッド終了設定", 3);
  FreeRing();
  Log("スレッド終了設定", 4);
  if (thread_.joinable()) thread_.join();
  Log("スレッド終了設定", 5);
  const MMRESULT closed = device_ ? device_->Close() : MMSYSERR_INVALHANDLE;
  device_.reset();
  if (closed != MMSYSERR_NOERROR) Log("waveOutClose Error", static_cast<long>(closed));
  Log("スレッド終了設定", 6);
  state_.store(Stopped);
}

void WaveOutStream::StreamThread() {
  // Named for top -H, perf and the benchmarks, which tell the threads apart.
  pthread_setname_np(pthread_self(), "qorve-waveout");
  Log("WAVEOUTスレッド開始", bufferSize_);
  // A reset asked for before the worker ran is moot (its counters start at 0);
  // a quit is not, and stays.
  int32_t pending = kResetTicks;
  command_.compare_exchange_strong(pending, kRun);
  uint32_t played = 0;  // bytes accounted for by ticks, modulo 2^32
  uint32_t early = 0;   // how many bytes before a buffer's end the next tick fires
  {
    std::lock_guard lock(tickMutex_);
    early = EarlyBytes();
  }
  for (;;) {
    auto wait = std::chrono::milliseconds(1);
    {
      std::lock_guard lock(tickMutex_);
      // The command first: after a Stop or Seek the device position has
      // restarted at 0 and must not be compared with the old counters.
      int32_t command = kResetTicks;
      if (command_.compare_exchange_strong(command, kRun)) {
        Log("RESETTICK", 0);
        played = 0;
        early = EarlyBytes();
      } else if (command == kQuit) {
        break;
      }
      // Paused or stopped, the position stands still; a tick that was due just
      // before would only refill a ring that the next Seek refills anyway, and
      // would touch the decoder the owner is free to move.
      if (state_.load() == Playing) {
        uint32_t position = 0;
        device_->GetPosition(position);
        uint32_t due = played + static_cast<uint32_t>(bufferSize_) - early;
        // "position has reached due", modulo 2^32: right across the wrap of
        // the 32-bit byte counter, where a plain >= would tick at once.
        if (static_cast<int32_t>(position - due) >= 0) {
          Tick(played, early);
          due = played + static_cast<uint32_t>(bufferSize_) - early;
        }
        wait = WaitAfterPoll(position, due);
      } else if (device_->KeepsRealTime()) {
        wait = kLongestWait;  // nothing moves until the owner wakes us
      }
    }
    std::unique_lock lock(wakeMutex_);
    wakeSignal_.wait_for(lock, wait, [this] { return wakeRequested_; });
    wakeRequested_ = false;
  }
  Log("WAVEOUTスレッド終了", 0);
  {
    std::lock_guard lock(endMutex_);
    workerEnded_ = true;
  }
  endSignal_.notify_all();
}

void WaveOutStream::Tick(uint32_t& played, uint32_t& early) {
  const int32_t old = currentIndex_;
  played += static_cast<uint32_t>(bufferSize_);
  currentIndex_ = old + 1 == bufferCount_ ? 0 : old + 1;
  // The tick that wraps the ring fires S ÷ 32 bytes before the pass has been
  // played, so that the next pass is queued before the device runs dry.
  early = EarlyBytes();
  const auto size = static_cast<uint32_t>(bufferSize_);
  if (currentIndex_ != 0) {
    // The buffer whose turn has ended gets the sound heard one pass later.
    // Between wraps the queued pass already holds every buffer in order: the
    // device is handed nothing.
    fill_(buffers_[old], size);
    return;
  }
  // The wrap: the device holds no more than S ÷ 32 bytes of the ending pass
  // (31 ms of one-second buffers), less than the slowest decoders take to
  // fill a buffer. So the buffers refilled at this pass's earlier ticks go in
  // behind it first, and the last buffer is refilled (the device copied this
  // pass when it was queued, so its final bytes still sound) and queued while
  // those play.
  if (old > 0) QueueSpan(heap_.get(), static_cast<uint32_t>(old) * size);
  fill_(buffers_[old], size);
  QueueSpan(buffers_[old], size);
}

std::chrono::milliseconds WaveOutStream::WaitAfterPoll(uint32_t position, uint32_t due) const {
  constexpr auto kPoll = std::chrono::milliseconds(1);
  const auto remaining = static_cast<int32_t>(due - position);
  // A device whose position moves only when something else moves it (one that
  // plays whatever is queued at once, into a file) and that is already past
  // the next tick: that tick is due now, not a poll later.
  if (!device_->KeepsRealTime()) return remaining <= 0 ? std::chrono::milliseconds(0) : kPoll;
  if (bytesPerSecond_ <= 0) return kPoll;
  if (remaining <= 0) return kPoll;
  // Rounded down, so the worker wakes at the due time or just before and then
  // polls each millisecond until the device has really got there.
  const auto ms = static_cast<int64_t>(remaining * 1000.0 / bytesPerSecond_);
  return std::clamp(std::chrono::milliseconds(ms), kPoll, kLongestWait);
}

void WaveOutStream::WakeWorker() {
  {
    std::lock_guard lock(wakeMutex_);
    wakeRequested_ = true;
  }
  wakeSignal_.notify_one();
}

uint32_t WaveOutStream::EarlyBytes() const {
  // Only the turn of the last buffer ends early. After a reset the current
  // index is 0, which is the last buffer of a one-buffer ring: there every
  // tick, the first one included, fires early.
  return currentIndex_ == bufferCount_ - 1 ? static_cast<uint32_t>(bufferSize_) >> 5 : 0;
}

void WaveOutStream::PlayLocked() {
  device_->Restart();
  QueueWholeRing();
  state_.store(Playing);
}

void WaveOutStream::FillRing() {
  for (int32_t i = 0; i < bufferCount_; ++i) fill_(buffers_[i], static_cast<uint32_t>(bufferSize_));
}

void WaveOutStream::QueueWholeRing() {
  QueueSpan(heap_.get(), static_cast<uint32_t>(bufferCount_) * static_cast<uint32_t>(bufferSize_));
}

void WaveOutStream::QueueSpan(const uint8_t* data, uint32_t length) {
  header_ = {data, length};
  device_->Write(header_.data, header_.length);
}

void WaveOutStream::FreeRing() {
  heap_.reset();
  buffers_.fill(nullptr);
}

}  // namespace qorve
