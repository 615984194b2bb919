// Polls the X11 input backend every millisecond and prints what it sees, one
// line per change, for the end-to-end test under a real X server.
//
//   x11_input_probe [--snapshots] [--seconds N]
//
// Lines: "source raw-events|snapshots", "ready", then "pressed 0xVK",
// "down 0xVK", "up 0xVK", "cursor X Y", "disconnected", and at the end
// "passes P updates U round_trips R events E". Ends after N seconds (default
// 10) or once F12 is pressed. Exit status 2 when no display opens.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/input/input_x11.h"
#include "platform/system/clock.h"

int main(int argc, char** argv) {
  using namespace qorve;
  X11InputSource source = X11InputSource::kRawEvents;
  uint32_t seconds = 10;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--snapshots") == 0) {
      source = X11InputSource::kSnapshots;
    } else if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
      seconds = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
    }
  }
  std::unique_ptr<X11Input> input = OpenX11Input(source);
  if (!input) {
    std::fprintf(stderr, "no X display\n");
    return 2;
  }
  std::printf("source %s\nready\n", input->Source() == X11InputSource::kRawEvents ? "raw-events" : "snapshots");
  std::fflush(stdout);

  constexpr int kStopKey = 0x7B;  // F12
  bool down[256] = {};
  int lastX = -1;
  int lastY = -1;
  bool connected = true;
  uint64_t passes = 0;
  const uint32_t start = TimeGetTime();
  bool stop = false;
  while (!stop && TimeGetTime() - start < seconds * 1000u) {
    ++passes;
    for (int vk = 1; vk < 256; ++vk) {
      const auto state = static_cast<uint16_t>(input->GetAsyncKeyState(vk));
      if (state & 1) {
        std::printf("pressed 0x%02X\n", vk);
        if (vk == kStopKey) stop = true;
      }
      const bool isDown = (state & 0x8000) != 0;
      if (isDown != down[vk]) std::printf("%s 0x%02X\n", isDown ? "down" : "up", vk);
      down[vk] = isDown;
    }
    int x = 0;
    int y = 0;
    if (input->GetCursorPos(x, y) && (x != lastX || y != lastY)) {
      std::printf("cursor %d %d\n", x, y);
      lastX = x;
      lastY = y;
    }
    if (connected && !input->Connected()) {
      std::printf("disconnected\n");
      connected = false;
    }
    std::fflush(stdout);
    SleepMs(1);
  }
  const X11InputCounters counters = input->Counters();
  std::printf("passes %llu updates %llu round_trips %llu events %llu\n", static_cast<unsigned long long>(passes),
              static_cast<unsigned long long>(counters.updates),
              static_cast<unsigned long long>(counters.roundTrips),
              static_cast<unsigned long long>(counters.events));
  return 0;
}
