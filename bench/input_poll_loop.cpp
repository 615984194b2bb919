// A polling loop over the X11 input backend shaped like the player's step:
// per pass the fifteen keys and buttons the player reads, the cursor, then a
// 1 ms sleep. Runs until SIGTERM or SIGINT, then prints what the backend did.
//
//   input_poll_loop [--snapshots]
//
// Exit status 2 when no display opens.
#include <csignal>
#include <cstdio>
#include <cstring>

#include "platform/input/input_x11.h"
#include "platform/system/clock.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void RequestStop(int) {
  stopRequested = 1;
}

// Mouse buttons, the default command keys and Shift: what one player step polls.
constexpr int kPolledKeys[] = {0x01, 0x02, 0x04, 0x50, 0x4C, 0x43, 0x52, 0x73,
                               0x5A, 0x27, 0x25, 0x53, 0x6B, 0x6D, 0x20, 0x1B};

}  // namespace

int main(int argc, char** argv) {
  using namespace qorve;
  const bool snapshots = argc > 1 && std::strcmp(argv[1], "--snapshots") == 0;
  std::unique_ptr<X11Input> input = OpenX11Input(snapshots ? X11InputSource::kSnapshots : X11InputSource::kRawEvents);
  if (!input) {
    std::fprintf(stderr, "no X display\n");
    return 2;
  }
  std::signal(SIGTERM, RequestStop);
  std::signal(SIGINT, RequestStop);

  uint64_t passes = 0;
  unsigned seen = 0;  // keeps the reads from being optimised away
  while (!stopRequested) {
    for (int key : kPolledKeys) seen += static_cast<uint16_t>(input->GetAsyncKeyState(key)) & 1u;
    int x = 0;
    int y = 0;
    input->GetCursorPos(x, y);
    ++passes;
    SleepMs(1);
  }
  const X11InputCounters counters = input->Counters();
  std::printf("passes %llu round_trips %llu events %llu presses %u source %s\n",
              static_cast<unsigned long long>(passes), static_cast<unsigned long long>(counters.roundTrips),
              static_cast<unsigned long long>(counters.events), seen,
              input->Source() == X11InputSource::kRawEvents ? "raw-events" : "snapshots");
  return 0;
}
