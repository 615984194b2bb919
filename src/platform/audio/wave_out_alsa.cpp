// The ALSA wave-out backend. Written spans wait in our own queue; a writer
// thread moves them into ALSA's ring (about 100 ms) as room appears. The
// position is what the listener has heard: bytes handed to ALSA minus ALSA's
// delay. Pause drops ALSA's ring and puts the bytes not yet heard back at the
// front of our queue, so the position freezes exactly and nothing is lost; the
// same works on hardware that cannot pause.
#include "platform/audio/wave_out.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace qorve {
namespace {

constexpr unsigned kBufferMicroseconds = 100000;
constexpr unsigned kPeriodMicroseconds = 20000;

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

class AlsaWaveOut final : public WaveOutDevice {
 public:
  explicit AlsaWaveOut(std::string name) : name_(std::move(name)) {}
  ~AlsaWaveOut() override {
    if (pcm_) Close();
  }

  MMRESULT Open(const WAVEFORMATEX& format) override {
    std::unique_lock lock(mutex_);
    if (pcm_) return MMSYSERR_ALLOCATED;
    if (const MMRESULT check = CheckPcmFormat(format); check != MMSYSERR_NOERROR) return check;
    SilenceAlsaDiagnostics();
    snd_pcm_t* pcm = nullptr;
    const int opened = snd_pcm_open(&pcm, name_.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
    if (opened < 0) return FromOpenError(opened);
    if (snd_pcm_type(pcm) == SND_PCM_TYPE_NULL) {  // swallows data unpaced: no clock
      snd_pcm_close(pcm);
      return MMSYSERR_NODRIVER;
    }
    if (!Configure(pcm, format)) {
      snd_pcm_close(pcm);
      return WAVERR_BADFORMAT;
    }
    pcm_ = pcm;
    frameBytes_ = format.nBlockAlign;
    queue_.clear();
    headOffset_ = 0;
    history_.clear();
    written_ = 0;
    paused_ = false;
    quit_ = false;
    writer_ = std::thread(&AlsaWaveOut::WriterThread, this);
    return MMSYSERR_NOERROR;
  }

  MMRESULT Write(const uint8_t* data, uint32_t bytes) override {
    {
      std::lock_guard lock(mutex_);
      if (!pcm_) return MMSYSERR_INVALHANDLE;
      queue_.emplace_back(data, data + bytes);
    }
    wake_.notify_one();
    return MMSYSERR_NOERROR;
  }

  MMRESULT Pause() override {
    std::lock_guard lock(mutex_);
    if (!pcm_) return MMSYSERR_INVALHANDLE;
    if (paused_) return MMSYSERR_NOERROR;
    const size_t unheard = DelayBytes();
    snd_pcm_drop(pcm_);
    snd_pcm_prepare(pcm_);
    if (unheard > 0) {
      if (!queue_.empty() && headOffset_ > 0) {
        queue_.front().erase(queue_.front().begin(), queue_.front().begin() + static_cast<long>(headOffset_));
      }
      headOffset_ = 0;
      queue_.emplace_front(history_.end() - static_cast<long>(unheard), history_.end());
      written_ -= static_cast<uint32_t>(unheard);
    }
    history_.clear();
    paused_ = true;
    return MMSYSERR_NOERROR;
  }

  MMRESULT Restart() override {
    {
      std::lock_guard lock(mutex_);
      if (!pcm_) return MMSYSERR_INVALHANDLE;
      paused_ = false;
    }
    wake_.notify_one();
    return MMSYSERR_NOERROR;
  }

  MMRESULT Reset() override {
    std::lock_guard lock(mutex_);
    if (!pcm_) return MMSYSERR_INVALHANDLE;
    snd_pcm_drop(pcm_);
    snd_pcm_prepare(pcm_);
    queue_.clear();
    headOffset_ = 0;
    history_.clear();
    written_ = 0;
    return MMSYSERR_NOERROR;
  }

  MMRESULT GetPosition(uint32_t& bytes) override {
    std::lock_guard lock(mutex_);
    if (!pcm_) return MMSYSERR_INVALHANDLE;
    bytes = written_ - static_cast<uint32_t>(DelayBytes());
    return MMSYSERR_NOERROR;
  }

  bool KeepsRealTime() const override { return true; }

  MMRESULT Close() override {
    {
      std::lock_guard lock(mutex_);
      if (!pcm_) return MMSYSERR_INVALHANDLE;
      quit_ = true;
    }
    wake_.notify_one();
    writer_.join();
    std::lock_guard lock(mutex_);
    snd_pcm_drop(pcm_);
    const int closed = snd_pcm_close(pcm_);
    pcm_ = nullptr;
    queue_.clear();
    history_.clear();
    return closed < 0 ? MMSYSERR_ERROR : MMSYSERR_NOERROR;
  }

 private:
  bool Configure(snd_pcm_t* pcm, const WAVEFORMATEX& format) {
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
      historyLimit_ = 2 * static_cast<size_t>(bufferFrames) * format.nBlockAlign;
      periodWait_ = std::chrono::microseconds(std::max(1000u, periodTime / 2));
    }
    return ok;
  }

  // Bytes handed to ALSA that have not been heard yet (never more than we
  // still remember handing over). Called with mutex_ held.
  size_t DelayBytes() {
    snd_pcm_sframes_t frames = 0;
    if (snd_pcm_delay(pcm_, &frames) < 0 || frames < 0) return 0;  // underrun: all heard
    return std::min(static_cast<size_t>(frames) * frameBytes_, history_.size());
  }

  void WriterThread() {
    std::unique_lock lock(mutex_);
    while (!quit_) {
      if (paused_ || queue_.empty()) {
        wake_.wait(lock);
        continue;
      }
      const snd_pcm_sframes_t avail = snd_pcm_avail_update(pcm_);
      if (avail < 0) {  // underrun or suspend: start over with what is queued
        if (snd_pcm_recover(pcm_, static_cast<int>(avail), 1) < 0) snd_pcm_prepare(pcm_);
        history_.clear();
        continue;
      }
      std::vector<uint8_t>& span = queue_.front();
      const size_t spanFrames = (span.size() - headOffset_) / frameBytes_;
      const snd_pcm_uframes_t frames = std::min<snd_pcm_uframes_t>(static_cast<snd_pcm_uframes_t>(avail), spanFrames);
      if (frames == 0 && spanFrames > 0) {
        wake_.wait_for(lock, periodWait_);
        continue;
      }
      const uint8_t* from = span.data() + headOffset_;
      snd_pcm_sframes_t done = frames > 0 ? snd_pcm_writei(pcm_, from, frames) : 0;
      if (done == -EAGAIN) {
        wake_.wait_for(lock, periodWait_);
        continue;
      }
      if (done < 0) {
        if (snd_pcm_recover(pcm_, static_cast<int>(done), 1) < 0) snd_pcm_prepare(pcm_);
        history_.clear();
        continue;
      }
      const size_t bytes = static_cast<size_t>(done) * frameBytes_;
      history_.insert(history_.end(), from, from + bytes);
      if (history_.size() > historyLimit_) {
        history_.erase(history_.begin(), history_.end() - static_cast<long>(historyLimit_));
      }
      written_ += static_cast<uint32_t>(bytes);
      headOffset_ += bytes;
      // A span that does not end on a frame boundary leaves a partial frame:
      // carry it over to the next span so frames stay whole.
      if (span.size() - headOffset_ < frameBytes_) {
        std::vector<uint8_t> rest(span.begin() + static_cast<long>(headOffset_), span.end());
        queue_.pop_front();
        headOffset_ = 0;
        if (!rest.empty()) {
          if (queue_.empty()) {
            queue_.push_back(std::move(rest));
          } else {
            queue_.front().insert(queue_.front().begin(), rest.begin(), rest.end());
          }
        }
        if (queue_.size() == 1 && queue_.front().size() < frameBytes_ && !queue_.front().empty()) {
          wake_.wait(lock);  // only a partial frame is left: wait for more
        }
      }
    }
  }

  const std::string name_;
  std::mutex mutex_;  // guards everything below and every call on pcm_
  std::condition_variable wake_;
  std::thread writer_;
  snd_pcm_t* pcm_ = nullptr;
  size_t frameBytes_ = 1;
  size_t historyLimit_ = 0;
  std::chrono::microseconds periodWait_{10000};
  bool quit_ = false;
  bool paused_ = false;
  std::deque<std::vector<uint8_t>> queue_;
  size_t headOffset_ = 0;        // bytes of queue_.front() already handed to ALSA
  std::vector<uint8_t> history_; // the latest bytes handed to ALSA, for Pause
  uint32_t written_ = 0;         // bytes handed to ALSA since Open or Reset, modulo 2^32
};

}  // namespace

std::unique_ptr<WaveOutDevice> CreateAlsaWaveOut(std::string name) {
  return std::make_unique<AlsaWaveOut>(std::move(name));
}

}  // namespace qorve
