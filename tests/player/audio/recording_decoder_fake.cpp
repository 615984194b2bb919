#include "player/audio/recording_decoder.h"

namespace qorve::test {

namespace {
uint8_t CounterByte(uint64_t at) { return static_cast<uint8_t>(static_cast<uint32_t>(at / 4) >> (8 * (at % 4))); }
}  // namespace

RecordingDecoder::RecordingDecoder(VirtualSoundCard* card, bool writeCounter)
    : card_(card), writeCounter_(writeCounter) {}

FillProc RecordingDecoder::Proc() {
  return [this](uint8_t* buffer, uint32_t bytes) { Fill(buffer, bytes); };
}

void RecordingDecoder::Fill(uint8_t* buffer, uint32_t bytes) {
  const int now = inside_.fetch_add(1) + 1;
  int most = mostAtOnce_.load();
  while (now > most && !mostAtOnce_.compare_exchange_weak(most, now)) {
  }
  uint64_t from = 0;
  {
    std::lock_guard lock(mutex_);
    calls_.push_back({buffer, bytes, card_ ? card_->Position() : 0u, std::this_thread::get_id()});
    from = streamBytes_;
    streamBytes_ += bytes;
  }
  if (writeCounter_) {
    for (uint32_t i = 0; i < bytes; ++i) buffer[i] = CounterByte(from + i);
  }
  if (const int delay = delayMs_.load(); delay > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delay));
  inside_.fetch_sub(1);
  if (flag_.load()) afterFlag_.fetch_add(1);
  {
    std::lock_guard lock(mutex_);
    ++returnedCount_;
  }
  returned_.notify_all();
}

std::vector<RecordingDecoder::Call> RecordingDecoder::Calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

size_t RecordingDecoder::CallCount() const {
  std::lock_guard lock(mutex_);
  return calls_.size();
}

bool RecordingDecoder::WaitForCalls(size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return returned_.wait_for(lock, timeout, [&] { return returnedCount_ >= count; });
}

std::vector<uint8_t> RecordingDecoder::CounterStream(uint64_t from, uint64_t count) {
  std::vector<uint8_t> bytes(count);
  for (uint64_t i = 0; i < count; ++i) bytes[i] = CounterByte(from + i);
  return bytes;
}

}  // namespace qorve::test
