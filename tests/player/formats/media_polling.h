// Polling a media object as the controller does, for the tests of classes
// that play on their own (an MCI device, a worker thread).
#pragma once

#include "player/core/media_file.h"

#include <chrono>
#include <thread>

namespace qorve::test {

// Polls `media` every 2 ms until `done` holds for its state, or 30 s have
// passed; returns the last state read.
template <class Done>
MediaState PollUntil(MediaFile& media, Done done) {
  using namespace std::chrono_literals;
  const auto until = std::chrono::steady_clock::now() + 30s;
  MediaState state{};
  do {
    std::this_thread::sleep_for(2ms);
    state = MediaState{};
    media.GetStatus(state);
  } while (!done(state) && std::chrono::steady_clock::now() < until);
  return state;
}

}  // namespace qorve::test
