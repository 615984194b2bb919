// The virtual-clock wave-out backend: the queue and position of a device live
// in the card's state, which the test drives.
#include "platform/audio/wave_out_virtual.h"

#include <algorithm>
#include <deque>
#include <mutex>

namespace qorve {

struct VirtualSoundCard::State {
  struct Span {
    std::vector<uint8_t> bytes;  // empty when the card keeps no bytes
    uint32_t length = 0;
    uint32_t consumed = 0;
  };

  mutable std::mutex mutex;
  const bool keepBytes;
  MMRESULT openResult = MMSYSERR_NOERROR;
  bool open = false;
  bool paused = false;
  int openCount = 0;
  uint32_t position = 0;  // modulo 2^32, as a device counts
  uint32_t startPosition = 0;  // where Open and Reset put the position
  uint64_t queued = 0;
  std::deque<Span> queue;
  std::vector<WriteRecord> writes;
  std::vector<uint8_t> played;

  explicit State(bool keep) : keepBytes(keep) {}
};

namespace {

using State = VirtualSoundCard::State;

class VirtualWaveOut final : public WaveOutDevice {
 public:
  explicit VirtualWaveOut(std::shared_ptr<State> state) : state_(std::move(state)) {}
  ~VirtualWaveOut() override {
    if (mine_) Close();
  }

  MMRESULT Open(const WAVEFORMATEX& format) override {
    std::lock_guard lock(state_->mutex);
    if (mine_) return MMSYSERR_ALLOCATED;
    if (state_->openResult != MMSYSERR_NOERROR) return state_->openResult;
    if (const MMRESULT check = CheckPcmFormat(format); check != MMSYSERR_NOERROR) return check;
    if (state_->open) return MMSYSERR_ALLOCATED;
    state_->open = true;
    state_->paused = false;
    state_->position = state_->startPosition;
    state_->queue.clear();
    state_->queued = 0;
    ++state_->openCount;
    mine_ = true;
    return MMSYSERR_NOERROR;
  }

  MMRESULT Write(const uint8_t* data, uint32_t bytes) override {
    std::lock_guard lock(state_->mutex);
    if (!mine_) return MMSYSERR_INVALHANDLE;
    State::Span span;
    span.length = bytes;
    if (state_->keepBytes) span.bytes.assign(data, data + bytes);
    state_->queue.push_back(std::move(span));
    state_->queued += bytes;
    state_->writes.push_back({data, bytes, state_->position});
    return MMSYSERR_NOERROR;
  }

  MMRESULT Pause() override { return SetPaused(true); }
  MMRESULT Restart() override { return SetPaused(false); }

  MMRESULT Reset() override {
    std::lock_guard lock(state_->mutex);
    if (!mine_) return MMSYSERR_INVALHANDLE;
    state_->queue.clear();
    state_->queued = 0;
    state_->position = state_->startPosition;
    return MMSYSERR_NOERROR;
  }

  MMRESULT GetPosition(uint32_t& bytes) override {
    std::lock_guard lock(state_->mutex);
    if (!mine_) return MMSYSERR_INVALHANDLE;
    bytes = state_->position;
    return MMSYSERR_NOERROR;
  }

  MMRESULT Close() override {
    std::lock_guard lock(state_->mutex);
    if (!mine_) return MMSYSERR_INVALHANDLE;
    mine_ = false;
    state_->open = false;
    state_->queue.clear();
    state_->queued = 0;
    return MMSYSERR_NOERROR;
  }

 private:
  MMRESULT SetPaused(bool paused) {
    std::lock_guard lock(state_->mutex);
    if (!mine_) return MMSYSERR_INVALHANDLE;
    state_->paused = paused;
    return MMSYSERR_NOERROR;
  }

  std::shared_ptr<State> state_;
  bool mine_ = false;  // this device holds the card open (guarded by the card's mutex)
};

}  // namespace

VirtualSoundCard::VirtualSoundCard(bool keepBytes) : state_(std::make_shared<State>(keepBytes)) {}

std::unique_ptr<WaveOutDevice> VirtualSoundCard::NewDevice() { return std::make_unique<VirtualWaveOut>(state_); }

void VirtualSoundCard::FailOpens(MMRESULT code) {
  std::lock_guard lock(state_->mutex);
  state_->openResult = code;
}

void VirtualSoundCard::StartPositionsAt(uint32_t bytes) {
  std::lock_guard lock(state_->mutex);
  state_->startPosition = bytes;
}

uint64_t VirtualSoundCard::Advance(uint64_t bytes) {
  std::lock_guard lock(state_->mutex);
  if (!state_->open || state_->paused) return 0;
  uint64_t done = 0;
  while (done < bytes && !state_->queue.empty()) {
    State::Span& span = state_->queue.front();
    const uint32_t take = static_cast<uint32_t>(std::min<uint64_t>(span.length - span.consumed, bytes - done));
    if (state_->keepBytes) {
      const uint8_t* from = span.bytes.data() + span.consumed;
      state_->played.insert(state_->played.end(), from, from + take);
    }
    span.consumed += take;
    done += take;
    if (span.consumed == span.length) state_->queue.pop_front();
  }
  state_->queued -= done;
  state_->position += static_cast<uint32_t>(done);  // wraps modulo 2^32
  return done;
}

uint32_t VirtualSoundCard::Position() const {
  std::lock_guard lock(state_->mutex);
  return state_->position;
}

uint64_t VirtualSoundCard::QueuedBytes() const {
  std::lock_guard lock(state_->mutex);
  return state_->queued;
}

bool VirtualSoundCard::IsOpen() const {
  std::lock_guard lock(state_->mutex);
  return state_->open;
}

bool VirtualSoundCard::IsPaused() const {
  std::lock_guard lock(state_->mutex);
  return state_->paused;
}

int VirtualSoundCard::OpenCount() const {
  std::lock_guard lock(state_->mutex);
  return state_->openCount;
}

std::vector<VirtualSoundCard::WriteRecord> VirtualSoundCard::Writes() const {
  std::lock_guard lock(state_->mutex);
  return state_->writes;
}

std::vector<uint8_t> VirtualSoundCard::TakePlayed() {
  std::lock_guard lock(state_->mutex);
  std::vector<uint8_t> played;
  played.swap(state_->played);
  return played;
}

}  // namespace qorve
