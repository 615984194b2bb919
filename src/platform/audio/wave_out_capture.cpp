// The capture wave-out backend: "plays" into a WAV file. In real-time pace a
// queued byte counts as played when the monotonic clock says its time has come
// (the clock runs only while the device is running and has something queued,
// as a sound card's does); in fast pace every byte counts as played as soon as
// it is written. Played bytes go to the file in order, and nothing else does:
// bytes dropped by Reset or Close before their time never reach it.
//
// Playing is worked out lazily, whenever the device is called (the wave-out
// engine asks for the position every millisecond), so no thread is needed.
#include "platform/audio/wave_out.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <deque>
#include <limits>
#include <map>
#include <mutex>
#include <vector>

namespace qorve {
namespace {

constexpr long kHeaderBytes = 44;

// What a run remembers of each capture file, so that later opens append.
struct CaptureRecord {
  WAVEFORMATEX format{};
  uint64_t dataBytes = 0;
  bool inUse = false;
};

std::mutex registryMutex;
std::map<std::string, CaptureRecord>& Registry() {
  static std::map<std::string, CaptureRecord> files;
  return files;
}

bool SameFormat(const WAVEFORMATEX& a, const WAVEFORMATEX& b) {
  return a.wFormatTag == b.wFormatTag && a.nChannels == b.nChannels && a.nSamplesPerSec == b.nSamplesPerSec &&
         a.nBlockAlign == b.nBlockAlign && a.wBitsPerSample == b.wBitsPerSample;
}

void Put16(uint8_t* at, uint32_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}
void Put32(uint8_t* at, uint32_t value) {
  Put16(at, value & 0xFFFF);
  Put16(at + 2, value >> 16);
}

// The canonical 44-byte header of a PCM WAV file holding `dataBytes` of sound.
// Sizes beyond what the 32-bit fields hold are written as their maximum.
bool WriteHeader(std::FILE* file, const WAVEFORMATEX& format, uint64_t dataBytes) {
  const uint64_t padded = dataBytes + (dataBytes & 1);
  const auto clamp32 = [](uint64_t value) {
    return static_cast<uint32_t>(std::min<uint64_t>(value, std::numeric_limits<uint32_t>::max()));
  };
  uint8_t header[kHeaderBytes];
  std::copy_n("RIFF", 4, header);
  Put32(header + 4, clamp32(36 + padded));
  std::copy_n("WAVEfmt ", 8, header + 8);
  Put32(header + 16, 16);
  Put16(header + 20, format.wFormatTag);
  Put16(header + 22, format.nChannels);
  Put32(header + 24, format.nSamplesPerSec);
  Put32(header + 28, format.nSamplesPerSec * format.nBlockAlign);
  Put16(header + 32, format.nBlockAlign);
  Put16(header + 34, format.wBitsPerSample);
  std::copy_n("data", 4, header + 36);
  Put32(header + 40, clamp32(dataBytes));
  return std::fseek(file, 0, SEEK_SET) == 0 && std::fwrite(header, 1, kHeaderBytes, file) == kHeaderBytes;
}

uint64_t NowNs() {
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch()).count());
}

class CaptureWaveOut final : public WaveOutDevice {
 public:
  explicit CaptureWaveOut(CaptureOptions options) : options_(std::move(options)) {}
  ~CaptureWaveOut() override {
    if (file_) Close();
  }

  MMRESULT Open(const WAVEFORMATEX& format) override {
    std::lock_guard lock(mutex_);
    if (file_) return MMSYSERR_ALLOCATED;
    if (const MMRESULT check = CheckPcmFormat(format); check != MMSYSERR_NOERROR) return check;
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(options_.path, error);
    if (error || options_.path.empty()) return MMSYSERR_ERROR;
    key_ = absolute.lexically_normal().string();

    std::lock_guard registryLock(registryMutex);
    auto found = Registry().find(key_);
    uint64_t dataBytes = 0;
    std::FILE* file = nullptr;
    if (found != Registry().end()) {
      if (found->second.inUse) return MMSYSERR_ALLOCATED;
      if (!SameFormat(found->second.format, format)) return WAVERR_BADFORMAT;
      // Append after the sound of the earlier opens (over the pad byte, if any).
      file = std::fopen(key_.c_str(), "r+b");
      if (file && std::fseek(file, kHeaderBytes + static_cast<long>(found->second.dataBytes), SEEK_SET) == 0) {
        dataBytes = found->second.dataBytes;
      } else if (file) {
        std::fclose(file);
        file = nullptr;
      }
    }
    if (!file) {  // first open of the run, or the file went away meanwhile
      file = std::fopen(key_.c_str(), "w+b");
      if (!file) return MMSYSERR_ERROR;
      if (!WriteHeader(file, format, 0)) {
        std::fclose(file);
        return MMSYSERR_ERROR;
      }
    }
    CaptureRecord& record = Registry()[key_];
    record.format = format;
    record.dataBytes = dataBytes;
    record.inUse = true;

    file_ = file;
    format_ = format;
    dataBytes_ = dataBytes;
    limitBytes_ = std::numeric_limits<uint64_t>::max();
    if (options_.maxSeconds > 0 && std::isfinite(options_.maxSeconds)) {
      limitBytes_ = static_cast<uint64_t>(std::floor(options_.maxSeconds * format.nSamplesPerSec)) * format.nBlockAlign;
    }
    paused_ = false;
    position_ = 0;
    Anchor(NowNs());
    return MMSYSERR_NOERROR;
  }

  MMRESULT Write(const uint8_t* data, uint32_t bytes) override {
    std::lock_guard lock(mutex_);
    if (!file_) return MMSYSERR_INVALHANDLE;
    Update();
    queue_.emplace_back(data, data + bytes);
    queued_ += bytes;
    Update();
    return MMSYSERR_NOERROR;
  }

  MMRESULT Pause() override {
    std::lock_guard lock(mutex_);
    if (!file_) return MMSYSERR_INVALHANDLE;
    Update();
    paused_ = true;
    return MMSYSERR_NOERROR;
  }

  MMRESULT Restart() override {
    std::lock_guard lock(mutex_);
    if (!file_) return MMSYSERR_INVALHANDLE;
    Update();  // while paused this only moves the anchor to now
    paused_ = false;
    Update();
    return MMSYSERR_NOERROR;
  }

  MMRESULT Reset() override {
    std::lock_guard lock(mutex_);
    if (!file_) return MMSYSERR_INVALHANDLE;
    Update();
    DropQueue();
    position_ = 0;
    return MMSYSERR_NOERROR;
  }

  MMRESULT GetPosition(uint32_t& bytes) override {
    std::lock_guard lock(mutex_);
    if (!file_) return MMSYSERR_INVALHANDLE;
    Update();
    bytes = position_;
    return MMSYSERR_NOERROR;
  }

  bool KeepsRealTime() const override { return options_.pace == CapturePace::RealTime; }

  MMRESULT Close() override {
    std::lock_guard lock(mutex_);
    if (!file_) return MMSYSERR_INVALHANDLE;
    Update();
    DropQueue();
    bool written = std::fflush(file_) == 0;
    if (dataBytes_ & 1) {  // RIFF chunks are padded to even sizes
      written = written && std::fputc(0, file_) != EOF;
    }
    written = WriteHeader(file_, format_, dataBytes_) && written;
    written = std::fclose(file_) == 0 && written;
    file_ = nullptr;
    std::lock_guard registryLock(registryMutex);
    CaptureRecord& record = Registry()[key_];
    record.dataBytes = dataBytes_;
    record.inUse = false;
    return written ? MMSYSERR_NOERROR : MMSYSERR_ERROR;
  }

 private:
  void Anchor(uint64_t now) {
    anchorNs_ = now;
    playedSinceAnchor_ = 0;
  }

  // Plays what is due by now: with real-time pace what the clock has reached
  // since the anchor (the moment the device last started running with something
  // queued), with fast pace everything queued.
  void Update() {
    if (paused_ || queued_ == 0) {
      Anchor(NowNs());
      return;
    }
    if (options_.pace == CapturePace::Fast) {
      Play(queued_);
      return;
    }
    const uint64_t now = NowNs();
    const unsigned __int128 frames =
        static_cast<unsigned __int128>(now - anchorNs_) * format_.nSamplesPerSec / 1'000'000'000u;
    const uint64_t due = static_cast<uint64_t>(frames) * format_.nBlockAlign;
    if (due > playedSinceAnchor_) {
      const uint64_t bytes = std::min(due - playedSinceAnchor_, queued_);
      Play(bytes);
      playedSinceAnchor_ += bytes;
    }
    if (queued_ == 0) Anchor(now);  // ran dry: the clock waits for the next write
  }

  // Takes `bytes` from the front of the queue as played: into the file, within
  // the limit, and onto the position.
  void Play(uint64_t bytes) {
    uint64_t left = bytes;
    while (left > 0) {
      std::vector<uint8_t>& span = queue_.front();
      const uint64_t take = std::min<uint64_t>(span.size() - headOffset_, left);
      const uint64_t room = limitBytes_ > dataBytes_ ? limitBytes_ - dataBytes_ : 0;
      const uint64_t keep = std::min(take, room);
      if (keep > 0) {
        std::fwrite(span.data() + headOffset_, 1, keep, file_);
        dataBytes_ += keep;
      }
      headOffset_ += take;
      left -= take;
      if (headOffset_ == span.size()) {
        queue_.pop_front();
        headOffset_ = 0;
      }
    }
    queued_ -= bytes;
    position_ += static_cast<uint32_t>(bytes);  // modulo 2^32, as a device counts
  }

  void DropQueue() {
    queue_.clear();
    headOffset_ = 0;
    queued_ = 0;
    Anchor(NowNs());
  }

  const CaptureOptions options_;
  std::mutex mutex_;  // guards everything below
  std::string key_;   // the file's absolute path, its name in the run's registry
  std::FILE* file_ = nullptr;
  WAVEFORMATEX format_{};
  uint64_t dataBytes_ = 0;   // sound bytes in the file, earlier opens included
  uint64_t limitBytes_ = 0;  // the most sound bytes the file takes
  bool paused_ = false;
  uint32_t position_ = 0;
  std::deque<std::vector<uint8_t>> queue_;
  size_t headOffset_ = 0;  // bytes of queue_.front() already played
  uint64_t queued_ = 0;
  uint64_t anchorNs_ = 0;
  uint64_t playedSinceAnchor_ = 0;
};

}  // namespace

std::unique_ptr<WaveOutDevice> CreateCaptureWaveOut(CaptureOptions options) {
  return std::make_unique<CaptureWaveOut>(std::move(options));
}

}  // namespace qorve
