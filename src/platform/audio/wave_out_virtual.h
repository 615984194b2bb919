// A sound card for tests: wave-out devices made from it play only when the
// test advances the card's clock, so a test decides exactly how many bytes have
// been played and observes what the producer does.
#pragma once

#include "platform/audio/wave_out.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace qorve {

class VirtualSoundCard {
 public:
  // One span handed to the device: where it came from, how long it was, and the
  // device position at the moment it was written.
  struct WriteRecord {
    const uint8_t* source;
    uint32_t bytes;
    uint32_t position;
  };

  // keepBytes false: the card remembers only the lengths of what is written, so
  // a test can play gigabytes without holding them (TakePlayed stays empty).
  explicit VirtualSoundCard(bool keepBytes = true);

  // A device on this card; hand it out through SetWaveOutFactory. Only one
  // device of a card is open at a time (a second Open gets MMSYSERR_ALLOCATED).
  // Devices may outlive the card.
  std::unique_ptr<WaveOutDevice> NewDevice();

  // Opens from now on fail with `code` (MMSYSERR_NOERROR: they succeed again).
  void FailOpens(MMRESULT code);

  // Open and Reset from now on put the position at `bytes` instead of 0, as if
  // that much had been played already: a test reaches the wrap of the 32-bit
  // counter without playing 4 GiB.
  void StartPositionsAt(uint32_t bytes);

  // Plays up to `bytes` of what is queued, unless the device is paused, closed
  // or has nothing queued; returns the bytes played.
  uint64_t Advance(uint64_t bytes);

  // Test side of the device: any thread may call these.
  uint32_t Position() const;
  uint64_t QueuedBytes() const;
  bool IsOpen() const;
  bool IsPaused() const;
  int OpenCount() const;  // successful opens so far
  std::vector<WriteRecord> Writes() const;
  // The bytes played since the last call, in playing order.
  std::vector<uint8_t> TakePlayed();

  struct State;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace qorve
