// CPU cost of the wave-out engine while it plays, its worker's 1 ms polling
// included, beside a bare loop that only sleeps 1 ms, measured in the same run
// as process CPU time (getrusage). The fill procedure only clears its buffer,
// and the device is a clock with no output of its own, so what is measured is
// the engine. Prints both costs and their ratio (target: at most 1.25).
//
// Usage: wave_out_stream_bench [seconds per round, default 4] [rounds, default 3]
#include "common/settings.h"
#include "platform/audio/wave_out.h"
#include "platform/system/clock.h"
#include "player/audio/wave_out_stream.h"

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace qorve {
namespace {

// A device that plays by the monotonic clock and keeps nothing: its position
// is the queued bytes whose time has come, frozen while paused.
class ClockDevice final : public WaveOutDevice {
 public:
  MMRESULT Open(const WAVEFORMATEX& format) override {
    std::lock_guard lock(mutex_);
    bytesPerSecond_ = static_cast<double>(format.nSamplesPerSec) * format.nBlockAlign;
    Anchor();
    return MMSYSERR_NOERROR;
  }
  MMRESULT Write(const uint8_t*, uint32_t bytes) override {
    std::lock_guard lock(mutex_);
    Update();
    queued_ += bytes;
    return MMSYSERR_NOERROR;
  }
  MMRESULT Pause() override {
    std::lock_guard lock(mutex_);
    Update();
    paused_ = true;
    return MMSYSERR_NOERROR;
  }
  MMRESULT Restart() override {
    std::lock_guard lock(mutex_);
    Update();
    paused_ = false;
    return MMSYSERR_NOERROR;
  }
  MMRESULT Reset() override {
    std::lock_guard lock(mutex_);
    queued_ = 0;
    position_ = 0;
    Anchor();
    return MMSYSERR_NOERROR;
  }
  MMRESULT GetPosition(uint32_t& bytes) override {
    std::lock_guard lock(mutex_);
    Update();
    bytes = position_;
    return MMSYSERR_NOERROR;
  }
  MMRESULT Close() override { return MMSYSERR_NOERROR; }

 private:
  void Anchor() {
    anchor_ = std::chrono::steady_clock::now();
    sinceAnchor_ = 0;
  }
  void Update() {
    if (paused_ || queued_ == 0) {
      Anchor();
      return;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - anchor_).count();
    const uint64_t due = static_cast<uint64_t>(seconds * bytesPerSecond_) & ~uint64_t{3};
    const uint64_t bytes = std::min(due - std::min(due, sinceAnchor_), queued_);
    sinceAnchor_ += bytes;
    queued_ -= bytes;
    position_ += static_cast<uint32_t>(bytes);
  }

  std::mutex mutex_;
  double bytesPerSecond_ = 0;
  std::chrono::steady_clock::time_point anchor_;
  uint64_t sinceAnchor_ = 0;
  uint64_t queued_ = 0;
  uint32_t position_ = 0;
  bool paused_ = false;
};

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// CPU seconds per wall second spent by `body` while the calling thread sleeps.
template <typename Start, typename Stop>
double CpuShare(double seconds, Start start, Stop stop) {
  start();
  const double cpuBefore = CpuSeconds();
  const auto wallBefore = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  const double cpu = CpuSeconds() - cpuBefore;
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
  stop();
  return cpu / wall;
}

double BareLoop(double seconds) {
  std::atomic<bool> done{false};
  std::thread loop;
  return CpuShare(
      seconds, [&] { loop = std::thread([&] { while (!done.load(std::memory_order_relaxed)) SleepMs(1); }); },
      [&] {
        done.store(true);
        loop.join();
      });
}

double PlayingEngine(double seconds) {
  WaveOutStream stream;
  const WAVEFORMATEX format{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
  if (stream.Open(format, [](uint8_t* buffer, uint32_t bytes) { std::memset(buffer, 0, bytes); }) != 0) {
    std::fprintf(stderr, "the stream did not open\n");
    std::exit(1);
  }
  const double share = CpuShare(
      seconds, [&] { stream.Seek(0); }, [&] { stream.Stop(); });
  stream.Close();
  return share;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace
}  // namespace qorve

int main(int argc, char** argv) {
  using namespace qorve;
  const double seconds = argc > 1 ? std::atof(argv[1]) : 4.0;
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  ProgramSettings().kestravoxLog = 0;
  SetWaveOutFactory([] { return std::make_unique<ClockDevice>(); });

  std::vector<double> bare, engine;
  for (int round = 0; round < rounds; ++round) {  // alternate, so both see the same machine load
    bare.push_back(BareLoop(seconds));
    engine.push_back(PlayingEngine(seconds));
    std::printf("round %d: bare 1 ms sleep loop %.3f %% of a core, playing engine %.3f %% of a core\n", round + 1,
                100 * bare.back(), 100 * engine.back());
  }
  const double bareMedian = Median(bare);
  const double engineMedian = Median(engine);
  std::printf("median: bare loop %.3f %%, engine %.3f %%, ratio %.3f (target <= 1.25)\n", 100 * bareMedian,
              100 * engineMedian, engineMedian / bareMedian);
  return 0;
}
