// The ALSA wave-out backend. Written spans wait in our own queue; a writer
// thread, the only one that ever calls ALSA after Open, moves them into ALSA's
// ring (about 100 ms) as room appears. The position is what the listener has
// heard: bytes handed to ALSA minus ALSA's delay, as the writer last read it,
// carried forward by the clock. Pause and a lost device put the bytes not yet
// heard back at the front of our queue, so the position freezes exactly and
// nothing is lost; the same works on hardware that cannot pause.
//
// A device that fails (a sound server that went away, a card unplugged) never
// holds up the caller: the writer backs off, counts the device as lost once
// nothing has been heard for kLostAfter, closes it and opens the same name
// again every kReopenInterval. Meanwhile the position holds where the sound
// stopped, and the queue keeps what follows, so sound resumes from there.
#include "platform/audio/wave_out.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace qorve {
namespace {

using Clock = std::chrono::steady_clock;

constexpr unsigned kBufferMicroseconds = 100000;
constexpr unsigned kPeriodMicroseconds = 20000;
// The longest a failing device is asked again without a pause, and how far
// the pause between failed attempts grows: a failure that recovery does not
// clear must not turn the writer into a busy loop.
constexpr std::chrono::milliseconds kFirstBackoff{10};
constexpr std::chrono::milliseconds kLongestBackoff{250};
// With sound waiting to be heard, this long without the position moving means
// the device is gone, whatever its calls return: ten times ALSA's ring, far
// past any scheduling hiccup, and short enough that the user notices little.
constexpr auto kLostAfter = std::chrono::milliseconds(1000);
// How often a lost device is opened again: seldom enough to cost little (an
// attempt on a sound server that is gone loads and unloads its client
// libraries, some 40 ms of work), often enough that sound returns within a
// second or so of the device.
constexpr auto kReopenInterval = std::chrono::milliseconds(1000);
// How long Close waits for a writer that is inside a call that does not
// return (a sound server that hangs): after that the writer is left to end
// on its own, and cleans up after itself.
constexpr auto kCloseWait = std::chrono::milliseconds(1000);

// alsa-lib prints its configuration complaints (no card, unknown PCM) to
// stderr; a missing card is an ordinary failure here, reported by result code.
void IgnoreAlsaDiagnostic(const char*, int, const char*, int, const char*, ...) {}

void SilenceAlsaDiagnostics() {
  static std::once_flag once;
  std::call_once(once, [] { snd_lib_error_set_handler(IgnoreAlsaDiagnostic); });
}

MMRESULT FromOpenError(int error) {
  switch (-error) {
    case ENOENT: return MMSYSERR_NODRIVER;
    case ENODEV:
    case ENXIO: return MMSYSERR_BADDEVICEID;
    case EBUSY:
    case EAGAIN: return MMSYSERR_ALLOCATED;
    case ENOMEM: return MMSYSERR_NOMEM;
    default: return MMSYSERR_ERROR;
  }
}

snd_pcm_format_t SampleFormat(uint16_t bits) {
  switch (bits) {
    case 8: return SND_PCM_FORMAT_U8;
    case 16: return SND_PCM_FORMAT_S16_LE;
    case 24: return SND_PCM_FORMAT_S24_3LE;
    default: return SND_PCM_FORMAT_S32_LE;
  }
}

// What a configured PCM tells the writer about its buffering.
struct PcmLayout {
  size_t bufferBytes = 0;
  std::chrono::microseconds periodWait{10000};
};

bool Configure(snd_pcm_t* pcm, const WAVEFORMATEX& format, PcmLayout& layout) {
  snd_pcm_hw_params_t* hw = nullptr;
  snd_pcm_sw_params_t* sw = nullptr;
  if (snd_pcm_hw_params_malloc(&hw) < 0) return false;
  if (snd_pcm_sw_params_malloc(&sw) < 0) {
    snd_pcm_hw_params_free(hw);
    return false;
  }
  unsigned rate = format.nSamplesPerSec;
  unsigned bufferTime = kBufferMicroseconds;
  unsigned periodTime = kPeriodMicroseconds;
  snd_pcm_uframes_t bufferFrames = 0;
  snd_pcm_uframes_t periodFrames = 0;
  bool ok = snd_pcm_hw_params_any(pcm, hw) >= 0 &&
            snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED) >= 0 &&
            snd_pcm_hw_params_set_format(pcm, hw, SampleFormat(format.wBitsPerSample)) >= 0 &&
            snd_pcm_hw_params_set_channels(pcm, hw, format.nChannels) >= 0 &&
            snd_pcm_hw_params_set_rate_resample(pcm, hw, 1) >= 0 &&
            snd_pcm_hw_params_set_rate_near(pcm, hw, &rate, nullptr) >= 0 && rate == format.nSamplesPerSec &&
            snd_pcm_hw_params_set_buffer_time_near(pcm, hw, &bufferTime, nullptr) >= 0 &&
            snd_pcm_hw_params_set_period_time_near(pcm, hw, &periodTime, nullptr) >= 0 &&
            snd_pcm_hw_params(pcm, hw) >= 0 && snd_pcm_hw_params_get_buffer_size(hw, &bufferFrames) >= 0 &&
            snd_pcm_hw_params_get_period_size(hw, &periodFrames, nullptr) >= 0;
  // Start as soon as one period is in, so that short sounds are heard too.
  ok = ok && snd_pcm_sw_params_current(pcm, sw) >= 0 &&
       snd_pcm_sw_params_set_start_threshold(pcm, sw, std::max<snd_pcm_uframes_t>(periodFrames, 1)) >= 0 &&
       snd_pcm_sw_params_set_avail_min(pcm, sw, std::max<snd_pcm_uframes_t>(periodFrames, 1)) >= 0 &&
       snd_pcm_sw_params(pcm, sw) >= 0 && snd_pcm_prepare(pcm) >= 0;
  snd_pcm_sw_params_free(sw);
  snd_pcm_hw_params_free(hw);
  if (ok) {
    layout.bufferBytes = static_cast<size_t>(bufferFrames) * format.nBlockAlign;
    layout.periodWait = std::chrono::microseconds(std::max(1000u, periodTime / 2));
  }
  return ok;
}

// Opens and configures the PCM `name` for `format`. On failure the PCM is
// closed, `result` and `why` say what went wrong, and null is returned.
snd_pcm_t* OpenPcm(const std::string& name, const WAVEFORMATEX& format, PcmLayout& layout, MMRESULT& result,
                   std::string& why) {
  SilenceAlsaDiagnostics();
  snd_pcm_t* pcm = nullptr;
  const int opened = snd_pcm_open(&pcm, name.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
  if (opened < 0) {
    result = FromOpenError(opened);
    why = snd_strerror(opened);
    return nullptr;
  }
  if (snd_pcm_type(pcm) == SND_PCM_TYPE_NULL) {  // swallows data unpaced: no clock
    snd_pcm_close(pcm);
    result = MMSYSERR_NODRIVER;
    why = "a null PCM, which plays nothing";
    return nullptr;
  }
  if (!Configure(pcm, format, layout)) {
    snd_pcm_close(pcm);
    result = WAVERR_BADFORMAT;
    why = "cannot play this format";
    return nullptr;
  }
  result = MMSYSERR_NOERROR;
  return pcm;
}

// Everything the caller's threads and the writer share. The writer holds it
// by shared pointer: a writer stuck in a call that Close gave up waiting for
// still finds it when the call returns.
struct Shared {
  std::string name;
  WAVEFORMATEX format{};
  size_t frameBytes = 1;
  double bytesPerSecond = 0;

  std::mutex mutex;  // guards everything below; never held across a call into ALSA
  std::condition_variable wake;   // the writer waits here
  std::condition_variable ended;  // Close waits here for the writer
  bool quit = false;
  bool writerEnded = false;
  bool paused = false;
  bool dropPending = false;  // ALSA's ring holds sound nobody wants any more
  uint64_t generation = 0;   // moves at every Pause and Reset: a writer's call begun before is void
  std::deque<std::vector<uint8_t>> queue;
  size_t headOffset = 0;         // bytes of queue.front() already handed to ALSA
  std::vector<uint8_t> history;  // the latest bytes handed to ALSA, for putting back
  size_t historyLimit = 0;
  uint32_t written = 0;  // bytes handed to ALSA since Open or Reset, modulo 2^32
  // The position as the writer last read it, and whether it moves with the
  // clock from there (ALSA was running).
  uint32_t heard = 0;
  Clock::time_point heardAt{};
  bool running = false;
  uint32_t reported = 0;  // the last position given out: it never goes back
  bool lost = false;

  // The position now: the last reading carried forward by the clock, never
  // past what ALSA was handed, never behind what was given out before.
  uint32_t Position(Clock::time_point now) {
    uint32_t position = heard;
    if (running && !paused && !lost) {
      const double seconds = std::chrono::duration<double>(now - heardAt).count();
      const auto ahead = static_cast<uint64_t>(std::max(0.0, seconds) * bytesPerSecond) / frameBytes * frameBytes;
      position += static_cast<uint32_t>(std::min<uint64_t>(ahead, written - heard));
    }
    if (static_cast<int32_t>(position - reported) < 0) position = reported;
    reported = position;
    return position;
  }

  // Makes `position` the last heard byte: what was handed to ALSA after it
  // goes back to the front of the queue, to be handed over again.
  void PutBackAfter(uint32_t position) {
    const size_t unheard = std::min<size_t>(written - position, history.size());
    if (unheard > 0) {
      if (!queue.empty() && headOffset > 0) {
        queue.front().erase(queue.front().begin(), queue.front().begin() + static_cast<long>(headOffset));
      }
      headOffset = 0;
      queue.emplace_front(history.end() - static_cast<long>(unheard), history.end());
    }
    written -= static_cast<uint32_t>(unheard);
    history.clear();
    heard = written;
    reported = written;
    running = false;
  }

  // Takes the bytes ALSA accepted out of the queue.
  void Commit(const uint8_t* from, size_t bytes) {
    history.insert(history.end(), from, from + bytes);
    if (history.size() > historyLimit) history.erase(history.begin(), history.end() - static_cast<long>(historyLimit));
    written += static_cast<uint32_t>(bytes);
    headOffset += bytes;
    std::vector<uint8_t>& span = queue.front();
    // A span that does not end on a frame boundary leaves a partial frame:
    // carry it over to the next span so frames stay whole.
    if (span.size() - headOffset < frameBytes) {
      std::vector<uint8_t> rest(span.begin() + static_cast<long>(headOffset), span.end());
      queue.pop_front();
      headOffset = 0;
      if (!rest.empty()) {
        if (queue.empty()) {
          queue.push_back(std::move(rest));
        } else {
          queue.front().insert(queue.front().begin(), rest.begin(), rest.end());
        }
      }
    }
  }

  // Whole frames waiting in the queue's first span.
  size_t FramesWaiting() const {
    if (queue.empty()) return 0;
    return (queue.front().size() - headOffset) / frameBytes;
  }
};

// The writer: owns the PCM from Open until it ends.
class Writer {
 public:
  Writer(std::shared_ptr<Shared> shared, snd_pcm_t* pcm, PcmLayout layout)
      : shared_(std::move(shared)), pcm_(pcm), layout_(layout) {}

  void Run() {
    Shared& s = *shared_;
    std::unique_lock lock(s.mutex);
    while (!s.quit) {
      if (s.dropPending) {
        s.dropPending = false;
        if (pcm_) {
          lock.unlock();
          snd_pcm_drop(pcm_);
          snd_pcm_prepare(pcm_);
          lock.lock();
        }
      } else if (!pcm_) {
        Reopen(lock);
      } else if (s.paused) {
        s.wake.wait(lock);
      } else if (s.FramesWaiting() > 0 || s.written != s.heard) {
        Step(lock);
        continue;
      } else {
        // Nothing to hand over, nothing left to be heard: sleep until a
        // write, or until the rest of a partial frame may have come.
        s.queue.empty() ? s.wake.wait(lock) : void(s.wake.wait_for(lock, layout_.periodWait));
      }
      // Time spent with nothing to play is not time without progress.
      lastProgress_ = Clock::now();
      backoff_ = kFirstBackoff;
    }
    lock.unlock();
    if (pcm_) {
      snd_pcm_drop(pcm_);
      snd_pcm_close(pcm_);
    }
    lock.lock();
    s.writerEnded = true;
    s.ended.notify_all();
  }

 private:
  // One round with a working PCM and sound to play: hand over what fits, read
  // the delay, and wait while ALSA has no room.
  void Step(std::unique_lock<std::mutex>& lock) {
    Shared& s = *shared_;
    const uint64_t generation = s.generation;
    // No more than ALSA's ring can take: the engine's spans are seconds long.
    const size_t waiting = s.FramesWaiting();
    const size_t frames = std::min(waiting, std::max<size_t>(layout_.bufferBytes / s.frameBytes, 1));
    // A copy, so that the calls below run without the lock.
    if (frames > 0) {
      chunk_.assign(s.queue.front().begin() + static_cast<long>(s.headOffset),
                    s.queue.front().begin() + static_cast<long>(s.headOffset + frames * s.frameBytes));
    }
    const bool onlySpan = s.queue.size() <= 1;
    lock.unlock();

    int error = 0;
    snd_pcm_sframes_t done = 0;
    const snd_pcm_sframes_t avail = snd_pcm_avail_update(pcm_);
    if (avail < 0) {
      error = static_cast<int>(avail);
    } else if (avail > 0 && frames > 0) {
      done = snd_pcm_writei(pcm_, chunk_.data(), std::min<snd_pcm_uframes_t>(static_cast<snd_pcm_uframes_t>(avail), frames));
      if (done < 0) {
        if (done != -EAGAIN) error = static_cast<int>(done);
        done = 0;
      }
    }
    snd_pcm_sframes_t delay = 0;
    bool running = false;
    if (error == 0) {
      // An underrun shows here too: what was heard of what ALSA held is then
      // for the clock to say, in Failed (a device that is gone may report
      // one underrun after another without playing anything).
      const int delayed = snd_pcm_delay(pcm_, &delay);
      if (delayed < 0) error = delayed;
      delay = std::max<snd_pcm_sframes_t>(delay, 0);
      // The queue's last bytes may be fewer than the start threshold: start
      // by hand, or they would wait for more that never comes.
      const bool drained = onlySpan && static_cast<size_t>(done) == waiting;
      if (error == 0 && drained && delay > 0 && snd_pcm_state(pcm_) == SND_PCM_STATE_PREPARED) snd_pcm_start(pcm_);
      running = snd_pcm_state(pcm_) == SND_PCM_STATE_RUNNING;
    }
    const Clock::time_point now = Clock::now();
    lock.lock();
    if (generation != s.generation) return;  // paused or reset meanwhile: this round is void
    if (error < 0) {
      Failed(lock, error, now);
      return;
    }
    if (done > 0) s.Commit(chunk_.data(), static_cast<size_t>(done) * s.frameBytes);
    const size_t unheard = std::min(static_cast<size_t>(delay) * s.frameBytes, s.history.size());
    const uint32_t heard = s.written - static_cast<uint32_t>(unheard);
    // Only sound heard is progress: a device that takes data and never
    // plays it is as lost as one that refuses it.
    if (heard != s.heard) {
      lastProgress_ = now;
      backoff_ = kFirstBackoff;
    }
    s.heard = heard;
    s.heardAt = now;
    s.running = running;
    if (now - lastProgress_ > kLostAfter) {
      Lose(lock, "nothing is heard");
      return;
    }
    if (done > 0) return;  // perhaps more fits: ask again at once
    s.wake.wait_for(lock, layout_.periodWait, [&] { return s.quit || s.generation != generation; });
  }

  // A call failed. Recovery is tried (an underrun, a suspend); what it does
  // not clear is tried again after a growing pause, until the device counts
  // as lost.
  void Failed(std::unique_lock<std::mutex>& lock, int error, Clock::time_point now) {
    Shared& s = *shared_;
    const uint64_t generation = s.generation;
    // Only what the clock says has been heard counts: a device that fails
    // at once after each recovery must not seem to play.
    s.PutBackAfter(s.Position(now));
    lock.unlock();
    if (snd_pcm_recover(pcm_, error, 1) < 0) snd_pcm_prepare(pcm_);
    lock.lock();
    if (generation != s.generation) return;
    if (backoff_ == kFirstBackoff) firstError_ = error;
    if (now - lastProgress_ > kLostAfter) {
      Lose(lock, snd_strerror(firstError_));
      return;
    }
    s.wake.wait_for(lock, backoff_, [&] { return s.quit || s.generation != generation; });
    backoff_ = std::min(backoff_ * 2, kLongestBackoff);
  }

  // Gives the device up: the position holds at what was last heard, and the
  // PCM is closed, to be opened again by Reopen.
  void Lose(std::unique_lock<std::mutex>& lock, const char* why) {
    Shared& s = *shared_;
    s.PutBackAfter(s.heard);
    s.lost = true;
    std::fprintf(stderr, "qorve: sound device \"%s\" lost (%s); opening it again\n", s.name.c_str(), why);
    snd_pcm_t* pcm = pcm_;
    pcm_ = nullptr;
    lock.unlock();
    snd_pcm_drop(pcm);
    snd_pcm_close(pcm);
    lock.lock();
    nextReopen_ = Clock::now() + kReopenInterval;
  }

  void Reopen(std::unique_lock<std::mutex>& lock) {
    Shared& s = *shared_;
    if (Clock::now() < nextReopen_) {
      s.wake.wait_until(lock, nextReopen_, [&] { return s.quit; });
      return;
    }
    const WAVEFORMATEX format = s.format;
    const std::string name = s.name;
    lock.unlock();
    PcmLayout layout;
    MMRESULT result = MMSYSERR_NOERROR;
    std::string why;
    snd_pcm_t* pcm = OpenPcm(name, format, layout, result, why);
    lock.lock();
    nextReopen_ = Clock::now() + kReopenInterval;
    if (!pcm) return;
    pcm_ = pcm;
    layout_ = layout;
    s.historyLimit = 2 * layout.bufferBytes;
    s.lost = false;
    std::fprintf(stderr, "qorve: sound device \"%s\" is back\n", s.name.c_str());
  }

  std::shared_ptr<Shared> shared_;
  snd_pcm_t* pcm_;  // null while the device is lost
  PcmLayout layout_;
  std::vector<uint8_t> chunk_;
  Clock::time_point lastProgress_ = Clock::now();
  int firstError_ = 0;  // of the failures since the last progress
  std::chrono::milliseconds backoff_ = kFirstBackoff;
  Clock::time_point nextReopen_{};
};

class AlsaWaveOut final : public WaveOutDevice {
 public:
  explicit AlsaWaveOut(std::string name) : name_(std::move(name)) {}
  ~AlsaWaveOut() override { Close(); }

  MMRESULT Open(const WAVEFORMATEX& format) override {
    std::lock_guard handle(handleMutex_);
    if (shared_) return MMSYSERR_ALLOCATED;
    if (const MMRESULT check = CheckPcmFormat(format); check != MMSYSERR_NOERROR) return check;
    openFailure_.clear();
    PcmLayout layout;
    MMRESULT result = MMSYSERR_NOERROR;
    std::string why;
    snd_pcm_t* pcm = OpenPcm(name_, format, layout, result, why);
    if (!pcm) {
      openFailure_ = "ALSA PCM \"" + name_ + "\": " + why;
      return result;
    }
    auto shared = std::make_shared<Shared>();
    shared->name = name_;
    shared->format = format;
    shared->frameBytes = format.nBlockAlign;
    shared->bytesPerSecond = static_cast<double>(format.nSamplesPerSec) * format.nBlockAlign;
    shared->historyLimit = 2 * layout.bufferBytes;
    try {
      writer_ = std::thread([writer = std::make_shared<Writer>(shared, pcm, layout)] { writer->Run(); });
    } catch (const std::system_error&) {
      snd_pcm_close(pcm);
      openFailure_ = "ALSA PCM \"" + name_ + "\": no thread for the writer";
      return MMSYSERR_NOMEM;
    }
    shared_ = std::move(shared);
    return MMSYSERR_NOERROR;
  }

  MMRESULT Write(const uint8_t* data, uint32_t bytes) override {
    return Change([&](Shared& s) { s.queue.emplace_back(data, data + bytes); });
  }

  MMRESULT Pause() override {
    return Change([](Shared& s) {
      if (s.paused) return;
      s.PutBackAfter(s.Position(Clock::now()));
      s.paused = true;
      s.dropPending = true;
      ++s.generation;
    });
  }

  MMRESULT Restart() override {
    return Change([](Shared& s) { s.paused = false; });
  }

  MMRESULT Reset() override {
    return Change([](Shared& s) {
      s.queue.clear();
      s.headOffset = 0;
      s.history.clear();
      s.written = 0;
      s.heard = 0;
      s.reported = 0;
      s.running = false;
      s.dropPending = true;
      ++s.generation;
    });
  }

  MMRESULT GetPosition(uint32_t& bytes) override {
    const std::shared_ptr<Shared> shared = Current();
    if (!shared) return MMSYSERR_INVALHANDLE;
    std::lock_guard lock(shared->mutex);
    bytes = shared->Position(Clock::now());
    return MMSYSERR_NOERROR;
  }

  bool KeepsRealTime() const override { return true; }

  std::string OpenFailure() const override {
    std::lock_guard handle(handleMutex_);
    return openFailure_;
  }

  MMRESULT Close() override {
    std::shared_ptr<Shared> shared;
    std::thread writer;
    {
      std::lock_guard handle(handleMutex_);
      if (!shared_) return MMSYSERR_INVALHANDLE;
      shared = std::move(shared_);
      writer = std::move(writer_);
    }
    bool ended = false;
    {
      std::unique_lock lock(shared->mutex);
      shared->quit = true;
      shared->queue.clear();
      shared->wake.notify_all();
      ended = shared->ended.wait_for(lock, kCloseWait, [&] { return shared->writerEnded; });
    }
    if (ended) {
      writer.join();
    } else {
      std::fprintf(stderr, "qorve: sound device \"%s\" does not answer; leaving it behind\n", name_.c_str());
      writer.detach();
    }
    return MMSYSERR_NOERROR;
  }

 private:
  std::shared_ptr<Shared> Current() const {
    std::lock_guard handle(handleMutex_);
    return shared_;
  }

  // Applies `change` to the shared state under its lock and wakes the writer.
  template <typename Edit>
  MMRESULT Change(Edit&& change) {
    const std::shared_ptr<Shared> shared = Current();
    if (!shared) return MMSYSERR_INVALHANDLE;
    {
      std::lock_guard lock(shared->mutex);
      change(*shared);
    }
    shared->wake.notify_one();
    return MMSYSERR_NOERROR;
  }

  const std::string name_;
  // Guards the members below, which change only in Open and Close; never
  // held across a wait on the writer.
  mutable std::mutex handleMutex_;
  std::shared_ptr<Shared> shared_;  // null unless open
  std::thread writer_;
  std::string openFailure_;
};

}  // namespace

std::unique_ptr<WaveOutDevice> CreateAlsaWaveOut(std::string name) {
  return std::make_unique<AlsaWaveOut>(std::move(name));
}

}  // namespace qorve
